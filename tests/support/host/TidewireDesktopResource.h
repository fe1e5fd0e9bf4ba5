#pragma once

#define IDS_TIDEWIRE_DESKTOP 1

// The question dialogs the Wisp library loads from this executable, with their control ids.
#define IDD_YESNO_CHECK 132
#define IDC_YESNO_CHECK_ICON 1001
#define IDC_YESNO_CHECK_CHECKBOX 1002
#define IDC_YESNO_CHECK_MESSAGE 1003

#define IDD_RADIO_CHECK 133
#define IDC_RADIO_CHECK_CHECKBOX 1004
#define IDC_RADIO_CHECK_RADIO1 1005
#define IDC_RADIO_CHECK_RADIO2 1006
#define IDC_RADIO_CHECK_ICON 1007
#define IDC_RADIO_CHECK_MESSAGE 1008

#define IDD_YESNO 140
#define IDC_YESNO_MESSAGE 1009
#define IDC_YESNO_ICON 1010

// The caption of both Yes/No templates (the radio dialog gets its caption at run time).
#define TIDEWIRE_QUESTION_CAPTION "Tidewire Desktop"
