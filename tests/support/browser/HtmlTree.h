// A pragmatic HTML reader for the browser stand-in: the element tree that pages, frames, forms
// and scripts need, markup and text read back from it, as the real engine's object model does.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace standin {

struct Node {
    enum Kind { Element, Text, Comment };
    Kind kind = Element;
    std::wstring tag;    // lower case; "#document" for the root
    std::vector<std::pair<std::wstring, std::wstring>> attributes;   // names lower case, values decoded
    std::wstring text;   // text: source text (entities intact); comment: its content
    std::vector<std::shared_ptr<Node>> children;
    Node* parent = nullptr;

    const std::wstring* Attribute(const std::wstring& name) const;   // null when absent
    std::wstring AttributeOr(const std::wstring& name, const std::wstring& fallback = {}) const;
    void SetAttribute(const std::wstring& name, const std::wstring& value);
    bool RemoveAttribute(const std::wstring& name);
    bool Is(const wchar_t* tagName) const { return kind == Element && tag == tagName; }
    void Append(std::shared_ptr<Node> child);
    void ReplaceChildren(std::vector<std::shared_ptr<Node>> children);
};

using NodePtr = std::shared_ptr<Node>;

// The whole page. The answer always has a body (or a frameset) somewhere below the root.
NodePtr ParseDocument(const std::wstring& source);
// Markup placed inside an element (innerHTML).
std::vector<NodePtr> ParseFragment(const std::wstring& source);

// Serialised as the engine does: upper-case tag names, attributes quoted only when needed.
std::wstring InnerHtml(const Node& node);
std::wstring OuterHtml(const Node& node);
// The rendered text: collapsed white space, line breaks for blocks and <br>, no script or style.
std::wstring InnerText(const Node& node);
std::wstring DecodeEntities(const std::wstring& text);
std::wstring EscapeText(const std::wstring& text);

// Depth-first, document order, the root itself excluded. Returning false stops the walk.
void ForEachElement(const Node& root, const std::function<bool(const NodePtr&)>& visit);
NodePtr FindElement(const Node& root, const std::function<bool(const Node&)>& match);
std::vector<NodePtr> FindElements(const Node& root, const std::function<bool(const Node&)>& match);
NodePtr FindById(const Node& root, const std::wstring& idOrName);   // id first, then name
NodePtr SharedFrom(const Node* node);   // the owning pointer of a node inside a tree (null for the root)

NodePtr BodyOf(const Node& root);   // <body>, else <frameset>
std::wstring TitleOf(const Node& root);
// The form an element belongs to: its nearest <form> ancestor.
NodePtr FormOf(const Node& element);
bool IsFormField(const Node& element);   // input, select, textarea, button

}  // namespace standin
