// Preferences through the settings file: a store is opened for the one call and closed again.
// Settings that change the host's window layout are the host's to keep, so they go to it.
// A page preference has one kind at a time: storing it as a number drops its text form and the
// other way round, since GetPreference answers the number first.
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace methods {

namespace {

struct LayoutSetting {
    const char* name;
    UINT message;
    bool post;
    bool alsoStored;
};

const LayoutSetting kLayoutSettings[] = {
    {"appbar_edge", RM_SET_APPBAR_EDGE, false, false},
    {"appbar_size", RM_SET_APPBAR_SIZE, false, false},
    {"mode_fullscreen", RM_SET_MODE_FULLSCREEN, false, true},
    {"appbar_autohide", RM_SET_APPBAR_AUTOHIDE, false, false},
    {"appbar_alwaysontop", RM_SET_APPBAR_ALWAYSONTOP, false, false},
    {"appbar_deskbar", RM_SET_APPBAR_DESKBAR, true, false},
    {"appbar_browser", RM_SET_APPBAR_BROWSER, true, false},
    {"emailFrequency", RM_SET_EMAIL_FREQUENCY, true, false},
};

const char* const kHeadlineSettings[] = {
    "headline_transition_mode",
    "headline_transition_speed",
    "headline_number_of_headlines",
};

// Characters a page-supplied name may not hold: they would not survive the settings file, which
// is XML in single quotes.
const char kRefusedNameCharacters[] = "'<>&";

}  // namespace

void SetPreference(MethodCall& call)
{
    if (!call.args.IsString(1))
        return;
    const std::string name = call.args.String(0);
    const std::string value = call.args.String(1);
    if (name.find_first_of(kRefusedNameCharacters) != std::string::npos) {
        TraceLog("ApplicationMethods::SetPreference - refused the name '%s'.\n", name.c_str());
        call.SetBool(false);
        return;
    }

    int number = value == "true" ? 1 : std::atoi(value.c_str());

    for (const LayoutSetting& setting : kLayoutSettings) {
        if (_stricmp(name.c_str(), setting.name) != 0)
            continue;
        if (setting.post)
            QDUtilities::PostApplicationMessage(setting.message, static_cast<WPARAM>(number), 0);
        else
            QDUtilities::SendApplicationMessage(setting.message, static_cast<WPARAM>(number), 0);
        if (!setting.alsoStored) {
            call.SetBool(false);
            return;
        }
        break;
    }

    // Account credentials may be all digits; they must stay text.
    if (name.find("emailPropertyType.password.") != std::string::npos ||
        name.find("emailPropertyType.username.") != std::string::npos)
        number = 0;

    bool stored;
    {
        PersistentSettings settings;
        if (number != 0 || value == "0") {
            stored = settings.SetProperty(name.c_str(), number, true);
            if (stored)
                settings.RemoveProperty(name.c_str(), PersistentSettings::Kind::String, true);
        } else {
            stored = settings.SetProperty(name.c_str(), value, true);
            if (stored)
                settings.RemoveProperty(name.c_str(), PersistentSettings::Kind::Int, true);
        }
        // A file that could not be written (or was not read whole) keeps nothing: say so.
        if (stored)
            stored = settings.Save();
    }
    call.SetBool(stored);

    for (const char* headline : kHeadlineSettings)
        if (_stricmp(name.c_str(), headline) == 0) {
            QDUtilities::NotifyClientsRecord(RM_HEADLINE_SETTING_CHANGED, 0, 0,
                                             static_cast<uint32_t>(name.size() + 1), name.c_str());
            break;
        }
}

void GetPreference(MethodCall& call)
{
    const std::string name = call.args.String(0);
    PersistentSettings settings;
    int number = 0;
    std::string text;
    if (settings.GetProperty(name.c_str(), number))
        call.SetInt(number);
    else if (settings.GetProperty(name.c_str(), text))
        call.SetString(text);
}

void GetInstallDir(MethodCall& call)
{
    PersistentSettings settings;
    std::string directory;
    settings.GetProperty(SettingsId::application_directory, directory);
    call.SetString(directory);
}

void GetEmailNewMessages(MethodCall& call)
{
    PersistentSettings settings;
    bool fresh = false;
    if (!settings.GetProperty(SettingsId::mail_check_results_new, fresh))
        fresh = false;
    call.SetBool(fresh);
}

void GetEmailUnreadCount(MethodCall& call)
{
    PersistentSettings settings;
    int count = 0;
    if (!settings.GetProperty(SettingsId::mail_check_results_count, count))
        count = 0;
    call.SetInt(count);
}

}  // namespace methods
