#pragma once

#define IDS_TIDEWIRE_DESKTOP 1
