// The property IDs of the per-user settings file. The settings give them no defaults: each
// caller fills its output with its own default before a get.
#pragma once

namespace SettingsId {

// Integers.
constexpr const char* appbar_edge = "appbar_edge";
constexpr const char* appbar_size = "appbar_size";
constexpr const char* screensaver_fadestartelapsed = "screensaver_fadestartelapsed";
constexpr const char* screensaver_fadewatchelapsed = "screensaver_fadewatchelapsed";
constexpr const char* screensaver_fadewatchfrequency = "screensaver_fadewatchfrequency";
constexpr const char* headline_transition_mode = "headline_transition_mode";
constexpr const char* headline_transition_speed = "headline_transition_speed";
constexpr const char* headline_number_of_headlines = "headline_number_of_headlines";
constexpr const char* emailFrequency = "emailFrequency";
constexpr const char* behavior_when_rss_link_clicked = "behavior_when_rss_link_clicked";
constexpr const char* mode_fullscreen = "mode_fullscreen";
constexpr const char* mail_check_results_count = "mail_check_results_count";

// Booleans (integers, 0 false).
constexpr const char* appbar_autohide = "appbar_autohide";
constexpr const char* appbar_alwaysontop = "appbar_alwaysontop";
constexpr const char* appbar_deskbar = "appbar_deskbar";
constexpr const char* appbar_browser = "appbar_browser";
constexpr const char* check_marigold_default_rss_reader = "check_marigold_default_rss_reader";
constexpr const char* mail_check_results_new = "mail_check_results_new";
// Answered from and written to the log-on Run entry; never stored in the file.
constexpr const char* auto_start_marigold = "auto_start_marigold";

// Strings.
constexpr const char* application_directory = "application_directory";
constexpr const char* content_directory = "content_directory";
constexpr const char* previous_screen_saver_setting = "previous_screen_saver_setting";

// Read and written by the page with the type it chooses.
constexpr const char* appbar_lastmode = "appbar_lastmode";
constexpr const char* firefox_install_supress_prompt = "firefox_install_supress_prompt";
constexpr const char* screensaver_fadeoutwindowcorner = "screensaver_fadeoutwindowcorner";
constexpr const char* application_commandlineparams = "application_commandlineparams";
constexpr const char* software_update_type = "software_update_type";
constexpr const char* send_anonymous_usage_data = "send_anonymous_usage_data";
constexpr const char* headline_update_frequency = "headline_update_frequency";
constexpr const char* headline_update_frequency_value = "headline_update_frequency_value";
constexpr const char* alerts_play_sound = "alerts_play_sound";
constexpr const char* alerts_desktop = "alerts_desktop";
constexpr const char* alerts_email = "alerts_email";
constexpr const char* alerts_email_address = "alerts_email_address";
constexpr const char* alerts_frequency = "alerts_frequency";
constexpr const char* alerts_time_of_day = "alerts_time_of_day";
constexpr const char* real_time_clock = "real_time_clock";
constexpr const char* url_addfeed = "url_addfeed";
constexpr const char* url_readfeed = "url_readfeed";
constexpr const char* screen_saver_images_only = "screen_saver_images_only";
constexpr const char* full_screen_window_width = "full_screen_window_width";
constexpr const char* full_screen_window_height = "full_screen_window_height";

// Web-mail provider prefixes and the parameter names read after them (strings).
constexpr const char* wm_gmail_params = "wm_gmail_params.";
constexpr const char* wm_aol_params = "wm_aol_params.";
constexpr const char* wm_hotmail_params = "wm_hotmail_params.";
constexpr const char* wm_yahoo_params = "wm_yahoo_params.";
constexpr const char* wm_mailUrl = "wm_mailUrl";
constexpr const char* wm_signInPageName = "wm_signInPageName";
constexpr const char* wm_inboxPageName = "wm_inboxPageName";
constexpr const char* wm_inboxPageName2 = "wm_inboxPageName2";
constexpr const char* wm_cookieFailurePage = "wm_cookieFailurePage";
constexpr const char* wm_secondarySearchString = "wm_secondarySearchString";
constexpr const char* wm_tertiarySearchString = "wm_tertiarySearchString";
constexpr const char* wm_initialSearchString = "wm_initialSearchString";
constexpr const char* wm_loginElementName = "wm_loginElementName";
constexpr const char* wm_loginElementKey = "wm_loginElementKey";
constexpr const char* wm_passwordElementName = "wm_passwordElementName";
constexpr const char* wm_passwordElementKey = "wm_passwordElementKey";
constexpr const char* wm_signOutUrl = "wm_signOutUrl";
constexpr const char* wm_badPasswordSearchString = "wm_badPasswordSearchString";
constexpr const char* wm_userNameAddition = "wm_userNameAddition";
constexpr const char* wm_inboxFrameName = "wm_inboxFrameName";
constexpr const char* wm_mailRequiresSSL = "wm_mailRequiresSSL";
constexpr const char* wm_mailPort = "wm_mailPort";
constexpr const char* wm_mailServer = "wm_mailServer";
constexpr const char* wm_otherPage = "wm_otherPage";
constexpr const char* wm_regExpNumEmails = "wm_regExpNumEmails";

// E-mail accounts: an ID is property-type prefix + account-type prefix + index ("%s%s%d").
constexpr const char* emailPropertyType_count = "emailPropertyType.count.";
constexpr const char* emailPropertyType_username = "emailPropertyType.username.";
constexpr const char* emailPropertyType_password = "emailPropertyType.password.";
constexpr const char* emailPropertyType_previousUnreadCount = "emailPropertyType.previousUnreadCount.";
constexpr const char* emailPropertyType_stopCheckingThisAccount =
    "emailPropertyType.stopCheckingThisAccount.";
constexpr const char* accountType_GMail = "accountType.GMail.";
constexpr const char* accountType_Yahoo = "accountType.Yahoo.";
constexpr const char* accountType_Hotmail = "accountType.Hotmail.";
constexpr const char* accountType_AOL = "accountType.AOL.";

}  // namespace SettingsId
