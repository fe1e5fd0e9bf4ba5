#include "Wisp/mail/MailMenu.h"

const char kEmailMenuFileName[] = "EmailMenu.xml";

std::string QuotedAttribute(const std::string& value)
{
    if (value.find('\'') == std::string::npos)
        return "'" + value + "'";
    // A value holding both kinds of quote cannot be written so that it reads back; its double
    // quotes become apostrophes, which at least keep the attribute, and the file, whole.
    std::string text = value;
    for (char& c : text)
        if (c == '"')
            c = '\'';
    return "\"" + text + "\"";
}

namespace {

std::string ItemStart()
{
    return "<MenuItem ID='" + std::to_string(kAccountMenuItemId) + "' ";
}

std::string Destination(const std::string& destination)
{
    return "Enabled='true' destination=" + QuotedAttribute(destination) + " ";
}

}  // namespace

void MailCheckPass::Start()
{
    total = 0;
    newMail = false;
    menu = "<Menu> \r\n";
}

void MailCheckPass::Finish()
{
    menu += "<MenuItem ID='106' Separator='true' /> \n";
    menu += "<MenuItem ID='1' Text='Add e-mail account...' Enabled='false' /> \n";
    menu += "</Menu> \r\n";
}

void MailCheckPass::AppendAccountItem(const std::string& label, int count, const std::string& destination)
{
    menu += ItemStart() + "Text=" + QuotedAttribute(label + " (" + std::to_string(count) + ")") + " " +
            Destination(destination) + (count > 0 ? "newMessages='true' " : "newMessages='false' ") + " />\n";
}

void MailCheckPass::AppendErrorItem(const std::string& label, const std::string& errorText,
                                    const std::string& destination)
{
    const std::string error = errorText.empty() ? "errorB" : errorText;
    menu += ItemStart() + "Text=" + QuotedAttribute(label + " (" + error + ")") + " " + Destination(destination) +
            "newMessages='false' " + " />\n";
}

std::string UpdatingEmailMenu(const std::string& label)
{
    return "<Menu> \r\n<MenuItem ID='99' Text=" + QuotedAttribute(label) +
           " Enabled='true'  newMessages='false' />  \r\n</Menu> \r\n";
}
