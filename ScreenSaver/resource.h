#pragma once

#define IDS_DESCRIPTION 103      // caption: "Tidewire Screen Saver"
#define IDS_NO_OPTIONS 1155      // configure mode's message
#define IDI_TIDEWIRE 107
#define IDI_TIDEWIRE_SMALL 108
