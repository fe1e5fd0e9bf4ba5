#include "HtmlTree.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <wchar.h>

namespace standin {

namespace {

bool OneOf(const std::wstring& tag, std::initializer_list<const wchar_t*> names)
{
    for (const wchar_t* n : names)
        if (tag == n)
            return true;
    return false;
}

bool IsVoid(const std::wstring& tag)
{
    return OneOf(tag, {L"area", L"base", L"br", L"col", L"embed", L"frame", L"hr", L"img", L"input",
                       L"link", L"meta", L"param", L"source", L"wbr", L"basefont", L"isindex"});
}

bool IsRawText(const std::wstring& tag)
{
    return OneOf(tag, {L"script", L"style", L"textarea", L"title", L"xmp", L"noscript"});
}

bool IsBlock(const std::wstring& tag)
{
    return OneOf(tag, {L"p", L"div", L"h1", L"h2", L"h3", L"h4", L"h5", L"h6", L"ul", L"ol", L"li",
                       L"table", L"tr", L"form", L"pre", L"blockquote", L"dl", L"dt", L"dd", L"hr",
                       L"address", L"center", L"body", L"frameset", L"fieldset", L"tbody", L"thead"});
}

std::wstring Lower(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring Upper(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f';
}

bool IsNameChar(wchar_t c)
{
    return !IsSpace(c) && c != L'>' && c != L'/' && c != L'=' && c != L'<' && c != 0;
}

// Case-insensitive search for "</tag" from pos.
std::size_t FindEndTag(const std::wstring& s, std::size_t pos, const std::wstring& tag)
{
    for (std::size_t i = s.find(L"</", pos); i != std::wstring::npos; i = s.find(L"</", i + 2)) {
        if (i + 2 + tag.size() > s.size())
            break;
        if (Lower(s.substr(i + 2, tag.size())) == tag) {
            wchar_t after = i + 2 + tag.size() < s.size() ? s[i + 2 + tag.size()] : L'>';
            if (!IsNameChar(after))
                return i;
        }
    }
    return std::wstring::npos;
}

class Parser {
public:
    explicit Parser(const std::wstring& s) : m_s(s) {}

    void Run(Node& root)
    {
        m_stack.assign(1, &root);
        while (m_i < m_s.size()) {
            if (m_s[m_i] == L'<' && m_i + 1 < m_s.size()) {
                wchar_t next = m_s[m_i + 1];
                if (m_s.compare(m_i, 4, L"<!--") == 0) {
                    Comment();
                    continue;
                }
                if (next == L'!' || next == L'?') {
                    SkipPast(L'>');
                    continue;
                }
                if (next == L'/' && m_i + 2 < m_s.size() && std::iswalpha(m_s[m_i + 2])) {
                    EndTag();
                    continue;
                }
                if (std::iswalpha(next)) {
                    StartTag();
                    continue;
                }
            }
            TextRun();
        }
    }

private:
    Node& Current() { return *m_stack.back(); }

    void AddText(const std::wstring& text)
    {
        if (text.empty())
            return;
        Node& cur = Current();
        if (!cur.children.empty() && cur.children.back()->kind == Node::Text) {
            cur.children.back()->text += text;
            return;
        }
        auto node = std::make_shared<Node>();
        node->kind = Node::Text;
        node->text = text;
        cur.Append(node);
    }

    void TextRun()
    {
        std::size_t end = m_s.find(L'<', m_i + 1);
        if (end == std::wstring::npos)
            end = m_s.size();
        AddText(m_s.substr(m_i, end - m_i));
        m_i = end;
    }

    void Comment()
    {
        std::size_t end = m_s.find(L"-->", m_i + 4);
        auto node = std::make_shared<Node>();
        node->kind = Node::Comment;
        if (end == std::wstring::npos) {
            node->text = m_s.substr(m_i + 4);
            m_i = m_s.size();
        } else {
            node->text = m_s.substr(m_i + 4, end - m_i - 4);
            m_i = end + 3;
        }
        Current().Append(node);
    }

    void SkipPast(wchar_t c)
    {
        std::size_t end = m_s.find(c, m_i);
        m_i = end == std::wstring::npos ? m_s.size() : end + 1;
    }

    std::wstring Name()
    {
        std::size_t start = m_i;
        while (m_i < m_s.size() && IsNameChar(m_s[m_i]))
            ++m_i;
        return Lower(m_s.substr(start, m_i - start));
    }

    void SkipSpace()
    {
        while (m_i < m_s.size() && IsSpace(m_s[m_i]))
            ++m_i;
    }

    void EndTag()
    {
        m_i += 2;
        std::wstring tag = Name();
        SkipPast(L'>');
        for (std::size_t k = m_stack.size(); k-- > 1;) {
            if (m_stack[k]->tag == tag) {
                m_stack.resize(k);
                return;
            }
            // An end tag does not reach out of a table cell or form it was not opened in.
            if (OneOf(m_stack[k]->tag, {L"td", L"th", L"table"}) && !OneOf(tag, {L"tr", L"table", L"tbody"}))
                return;
        }
    }

    void CloseImplied(const std::wstring& tag)
    {
        auto closeUpTo = [this](std::initializer_list<const wchar_t*> closing,
                                std::initializer_list<const wchar_t*> barriers) {
            for (std::size_t k = m_stack.size(); k-- > 1;) {
                if (OneOf(m_stack[k]->tag, barriers))
                    return;
                if (OneOf(m_stack[k]->tag, closing)) {
                    m_stack.resize(k);
                    return;
                }
            }
        };
        if (tag == L"li")
            closeUpTo({L"li"}, {L"ul", L"ol"});
        else if (tag == L"option")
            closeUpTo({L"option"}, {L"select"});
        else if (tag == L"td" || tag == L"th")
            closeUpTo({L"td", L"th"}, {L"tr", L"table"});
        else if (tag == L"tr")
            closeUpTo({L"tr"}, {L"table", L"tbody", L"thead"});
        else if (tag == L"dt" || tag == L"dd")
            closeUpTo({L"dt", L"dd"}, {L"dl"});
        if (IsBlock(tag) && Current().tag == L"p")
            m_stack.pop_back();
    }

    void StartTag()
    {
        ++m_i;
        auto node = std::make_shared<Node>();
        node->tag = Name();
        bool selfClosing = false;
        while (m_i < m_s.size()) {
            SkipSpace();
            if (m_i >= m_s.size())
                break;
            wchar_t c = m_s[m_i];
            if (c == L'>') {
                ++m_i;
                break;
            }
            if (c == L'/') {
                ++m_i;
                if (m_i < m_s.size() && m_s[m_i] == L'>') {
                    selfClosing = true;
                    ++m_i;
                    break;
                }
                continue;
            }
            if (c == L'<')   // a tag left unclosed: the next one starts here
                break;
            std::wstring name = Name();
            if (name.empty()) {
                ++m_i;
                continue;
            }
            SkipSpace();
            std::wstring value;
            if (m_i < m_s.size() && m_s[m_i] == L'=') {
                ++m_i;
                SkipSpace();
                if (m_i < m_s.size() && (m_s[m_i] == L'"' || m_s[m_i] == L'\'')) {
                    wchar_t quote = m_s[m_i++];
                    std::size_t end = m_s.find(quote, m_i);
                    if (end == std::wstring::npos)
                        end = m_s.size();
                    value = m_s.substr(m_i, end - m_i);
                    m_i = std::min(end + 1, m_s.size());
                } else {
                    std::size_t start = m_i;
                    while (m_i < m_s.size() && !IsSpace(m_s[m_i]) && m_s[m_i] != L'>')
                        ++m_i;
                    value = m_s.substr(start, m_i - start);
                }
            }
            if (!node->Attribute(name))
                node->attributes.emplace_back(name, DecodeEntities(value));
        }
        CloseImplied(node->tag);
        Node* added = node.get();
        Current().Append(node);
        if (IsRawText(node->tag) && !selfClosing) {
            std::size_t end = FindEndTag(m_s, m_i, node->tag);
            if (end == std::wstring::npos)
                end = m_s.size();
            if (end > m_i) {
                auto text = std::make_shared<Node>();
                text->kind = Node::Text;
                text->text = m_s.substr(m_i, end - m_i);
                added->Append(text);
            }
            m_i = end;
            if (m_i < m_s.size())
                SkipPast(L'>');
            return;
        }
        if (!selfClosing && !IsVoid(node->tag))
            m_stack.push_back(added);
    }

    const std::wstring& m_s;
    std::size_t m_i = 0;
    std::vector<Node*> m_stack;
};

bool IsHeadOnly(const Node& n)
{
    if (n.kind == Node::Comment)
        return true;
    if (n.kind == Node::Text)
        return std::all_of(n.text.begin(), n.text.end(), IsSpace);
    return OneOf(n.tag, {L"head", L"title", L"meta", L"link", L"base", L"style"});
}

// Pages may leave <body> out; the engine then makes one around the content.
void EnsureBody(Node& root)
{
    if (BodyOf(root))
        return;
    Node* container = &root;
    for (auto& c : root.children)
        if (c->Is(L"html"))
            container = c.get();
    auto body = std::make_shared<Node>();
    body->tag = L"body";
    std::vector<NodePtr> keep;
    bool content = false;
    for (auto& c : container->children) {
        if (!content && IsHeadOnly(*c)) {
            keep.push_back(c);
            continue;
        }
        content = true;
        body->Append(c);
    }
    container->children = keep;
    container->Append(body);
}

bool NeedsQuotes(const std::wstring& v)
{
    if (v.empty())
        return true;
    for (wchar_t c : v)
        if (!(std::iswalnum(c) || c == L'-' || c == L'_' || c == L'.'))
            return true;
    return false;
}

void Serialize(const Node& node, std::wstring& out);

void SerializeChildren(const Node& node, std::wstring& out)
{
    for (auto& c : node.children)
        Serialize(*c, out);
}

void Serialize(const Node& node, std::wstring& out)
{
    switch (node.kind) {
    case Node::Text:
        out += node.text;
        return;
    case Node::Comment:
        out += L"<!--" + node.text + L"-->";
        return;
    case Node::Element:
        break;
    }
    out += L"<" + Upper(node.tag);
    for (auto& a : node.attributes) {
        out += L" " + a.first + L"=";
        if (NeedsQuotes(a.second)) {
            std::wstring v;
            for (wchar_t c : a.second)
                v += c == L'"' ? L"&quot;" : c == L'&' ? L"&amp;" : std::wstring(1, c);
            out += L"\"" + v + L"\"";
        } else {
            out += a.second;
        }
    }
    out += L">";
    if (IsVoid(node.tag))
        return;
    SerializeChildren(node, out);
    out += L"</" + Upper(node.tag) + L">";
}

class TextWriter {
public:
    void Text(const std::wstring& decoded, bool pre)
    {
        for (wchar_t c : decoded) {
            if (!pre && IsSpace(c)) {
                m_space = true;
                continue;
            }
            if (c == L'\n' && pre) {
                Break();
                continue;
            }
            if (c == L'\r' && pre)
                continue;
            Flush();
            m_out += c;
        }
    }
    void Break()
    {
        if (!m_out.empty())
            m_breaks = std::max(m_breaks, 1);
        m_space = false;
    }
    void HardBreak()   // <br>: always a line
    {
        Flush();
        m_out += L"\r\n";
        m_space = false;
    }
    void Cell()
    {
        if (!m_out.empty() && m_breaks == 0)
            m_space = true;
    }
    std::wstring Result()
    {
        while (!m_out.empty() && IsSpace(m_out.back()))
            m_out.pop_back();
        return m_out;
    }

private:
    void Flush()
    {
        if (m_breaks > 0) {
            if (!m_out.empty() && m_out.back() != L'\n')
                m_out += L"\r\n";
            m_breaks = 0;
            m_space = false;
        } else if (m_space) {
            if (!m_out.empty() && m_out.back() != L'\n' && m_out.back() != L' ')
                m_out += L' ';
            m_space = false;
        }
    }

    std::wstring m_out;
    bool m_space = false;
    int m_breaks = 0;
};

void WriteText(const Node& node, TextWriter& w, bool pre)
{
    if (node.kind == Node::Comment)
        return;
    if (node.kind == Node::Text) {
        w.Text(DecodeEntities(node.text), pre);
        return;
    }
    if (OneOf(node.tag, {L"script", L"style", L"head", L"title", L"noscript", L"input"}))
        return;
    if (node.tag == L"br") {
        w.HardBreak();
        return;
    }
    bool block = IsBlock(node.tag);
    if (block)
        w.Break();
    if (node.tag == L"td" || node.tag == L"th")
        w.Cell();
    for (auto& c : node.children)
        WriteText(*c, w, pre || node.tag == L"pre" || node.tag == L"textarea");
    if (block)
        w.Break();
}

struct NamedEntity {
    const wchar_t* name;
    wchar_t value;
};
const NamedEntity kEntities[] = {
    {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''},
    {L"nbsp", 0xA0}, {L"copy", 0xA9}, {L"reg", 0xAE}, {L"trade", 0x2122}, {L"hellip", 0x2026},
    {L"mdash", 0x2014}, {L"ndash", 0x2013}, {L"laquo", 0xAB}, {L"raquo", 0xBB}, {L"middot", 0xB7},
};

}  // namespace

const std::wstring* Node::Attribute(const std::wstring& name) const
{
    std::wstring key = Lower(name);
    for (auto& a : attributes)
        if (a.first == key)
            return &a.second;
    return nullptr;
}

std::wstring Node::AttributeOr(const std::wstring& name, const std::wstring& fallback) const
{
    const std::wstring* v = Attribute(name);
    return v ? *v : fallback;
}

void Node::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    std::wstring key = Lower(name);
    for (auto& a : attributes)
        if (a.first == key) {
            a.second = value;
            return;
        }
    attributes.emplace_back(key, value);
}

bool Node::RemoveAttribute(const std::wstring& name)
{
    std::wstring key = Lower(name);
    for (auto it = attributes.begin(); it != attributes.end(); ++it)
        if (it->first == key) {
            attributes.erase(it);
            return true;
        }
    return false;
}

void Node::Append(std::shared_ptr<Node> child)
{
    child->parent = this;
    children.push_back(std::move(child));
}

void Node::ReplaceChildren(std::vector<std::shared_ptr<Node>> replacement)
{
    for (auto& c : children)
        c->parent = nullptr;
    children.clear();
    for (auto& c : replacement)
        Append(c);
}

NodePtr ParseDocument(const std::wstring& source)
{
    auto root = std::make_shared<Node>();
    root->tag = L"#document";
    Parser(source).Run(*root);
    EnsureBody(*root);
    return root;
}

std::vector<NodePtr> ParseFragment(const std::wstring& source)
{
    Node holder;
    holder.tag = L"#fragment";
    Parser(source).Run(holder);
    std::vector<NodePtr> out = holder.children;
    for (auto& c : out)
        c->parent = nullptr;
    return out;
}

std::wstring InnerHtml(const Node& node)
{
    std::wstring out;
    SerializeChildren(node, out);
    return out;
}

std::wstring OuterHtml(const Node& node)
{
    std::wstring out;
    Serialize(node, out);
    return out;
}

std::wstring InnerText(const Node& node)
{
    TextWriter w;
    if (node.kind != Node::Element)
        WriteText(node, w, false);
    else
        for (auto& c : node.children)
            WriteText(*c, w, node.tag == L"pre" || node.tag == L"textarea");
    return w.Result();
}

std::wstring DecodeEntities(const std::wstring& text)
{
    if (text.find(L'&') == std::wstring::npos)
        return text;
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&') {
            out += text[i];
            continue;
        }
        std::size_t semi = text.find(L';', i + 1);
        if (semi == std::wstring::npos || semi - i > 10) {
            out += text[i];
            continue;
        }
        std::wstring name = text.substr(i + 1, semi - i - 1);
        bool done = false;
        if (!name.empty() && name[0] == L'#') {
            unsigned long code = 0;
            wchar_t* end = nullptr;
            if (name.size() > 1 && (name[1] == L'x' || name[1] == L'X'))
                code = std::wcstoul(name.c_str() + 2, &end, 16);
            else
                code = std::wcstoul(name.c_str() + 1, &end, 10);
            if (end && *end == 0 && code > 0 && code < 0x110000) {
                if (code >= 0x10000) {
                    code -= 0x10000;
                    out += static_cast<wchar_t>(0xD800 + (code >> 10));
                    out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
                } else {
                    out += static_cast<wchar_t>(code);
                }
                done = true;
            }
        } else {
            for (const NamedEntity& e : kEntities)
                if (name == e.name) {
                    out += e.value;
                    done = true;
                    break;
                }
        }
        if (done)
            i = semi;
        else
            out += text[i];
    }
    return out;
}

std::wstring EscapeText(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

void ForEachElement(const Node& root, const std::function<bool(const NodePtr&)>& visit)
{
    std::function<bool(const Node&)> walk = [&](const Node& n) {
        for (auto& c : n.children) {
            if (c->kind != Node::Element)
                continue;
            if (!visit(c) || !walk(*c))
                return false;
        }
        return true;
    };
    walk(root);
}

NodePtr FindElement(const Node& root, const std::function<bool(const Node&)>& match)
{
    NodePtr found;
    ForEachElement(root, [&](const NodePtr& n) {
        if (match(*n)) {
            found = n;
            return false;
        }
        return true;
    });
    return found;
}

std::vector<NodePtr> FindElements(const Node& root, const std::function<bool(const Node&)>& match)
{
    std::vector<NodePtr> found;
    ForEachElement(root, [&](const NodePtr& n) {
        if (match(*n))
            found.push_back(n);
        return true;
    });
    return found;
}

NodePtr FindById(const Node& root, const std::wstring& idOrName)
{
    if (idOrName.empty())
        return nullptr;
    NodePtr byId = FindElement(root, [&](const Node& n) {
        const std::wstring* id = n.Attribute(L"id");
        return id && _wcsicmp(id->c_str(), idOrName.c_str()) == 0;
    });
    if (byId)
        return byId;
    return FindElement(root, [&](const Node& n) {
        const std::wstring* name = n.Attribute(L"name");
        return name && _wcsicmp(name->c_str(), idOrName.c_str()) == 0;
    });
}

NodePtr SharedFrom(const Node* node)
{
    if (!node || !node->parent)
        return nullptr;
    for (auto& c : node->parent->children)
        if (c.get() == node)
            return c;
    return nullptr;
}

NodePtr BodyOf(const Node& root)
{
    NodePtr body = FindElement(root, [](const Node& n) { return n.Is(L"body"); });
    if (!body)
        body = FindElement(root, [](const Node& n) { return n.Is(L"frameset"); });
    return body;
}

std::wstring TitleOf(const Node& root)
{
    NodePtr title = FindElement(root, [](const Node& n) { return n.Is(L"title"); });
    if (!title)
        return {};
    std::wstring raw;
    for (auto& c : title->children)
        if (c->kind == Node::Text)
            raw += c->text;
    TextWriter w;
    w.Text(DecodeEntities(raw), false);
    return w.Result();
}

NodePtr FormOf(const Node& element)
{
    for (Node* p = element.parent; p; p = p->parent)
        if (p->Is(L"form"))
            return SharedFrom(p);
    return nullptr;
}

bool IsFormField(const Node& element)
{
    return element.kind == Node::Element &&
           OneOf(element.tag, {L"input", L"select", L"textarea", L"button"});
}

}  // namespace standin
