// The stand-in's HTML reader: the tree pages get, and markup and text read back from it.
#include "HtmlTree.h"

#include <gtest/gtest.h>

using namespace standin;

namespace {

std::wstring BodyHtml(const std::wstring& page)
{
    NodePtr root = ParseDocument(page);
    NodePtr body = BodyOf(*root);
    return body ? InnerHtml(*body) : L"<no body>";
}

std::wstring BodyText(const std::wstring& page)
{
    NodePtr root = ParseDocument(page);
    NodePtr body = BodyOf(*root);
    return body ? InnerText(*body) : L"<no body>";
}

TEST(HtmlTree, ReadsAttributesInEveryQuotingAndDecodesEntities)
{
    NodePtr root = ParseDocument(L"<body><INPUT Name=email value='a &amp; b' id=\"x&quot;y\" checked/>"
                                 L"<a href=page.htm?a=1&b=2>link</a></body>");
    NodePtr input = FindById(*root, L"email");
    ASSERT_TRUE(input);
    EXPECT_EQ(L"input", input->tag);
    EXPECT_EQ(L"a & b", input->AttributeOr(L"value"));
    EXPECT_EQ(L"x\"y", input->AttributeOr(L"ID"));
    EXPECT_TRUE(input->Attribute(L"checked"));
    NodePtr link = FindElement(*root, [](const Node& n) { return n.Is(L"a"); });
    ASSERT_TRUE(link);
    EXPECT_EQ(L"page.htm?a=1&b=2", link->AttributeOr(L"href"));
    EXPECT_EQ(L"link", InnerText(*link));
}

TEST(HtmlTree, ScriptAndTitleKeepTheirTextUnparsed)
{
    NodePtr root = ParseDocument(L"<html><head><title>A &lt;b&gt;  title </title><script>var s = \"</div><b>\";"
                                 L"</script></head><body>after</body></html>");
    EXPECT_EQ(L"A <b> title", TitleOf(*root));
    NodePtr script = FindElement(*root, [](const Node& n) { return n.Is(L"script"); });
    ASSERT_TRUE(script);
    ASSERT_EQ(1u, script->children.size());
    EXPECT_EQ(L"var s = \"</div><b>\";", script->children[0]->text);
    EXPECT_EQ(L"after", BodyText(L"<html><head><script>x</script></head><body>after</body></html>"));
}

TEST(HtmlTree, PagesWithoutBodyGetOneAndFramesetsStandInForIt)
{
    NodePtr root = ParseDocument(L"<title>T</title><p>one<p>two");
    NodePtr body = BodyOf(*root);
    ASSERT_TRUE(body);
    EXPECT_EQ(L"body", body->tag);
    EXPECT_EQ(L"<P>one</P><P>two</P>", InnerHtml(*body));
    EXPECT_EQ(L"T", TitleOf(*root));

    NodePtr frames = ParseDocument(L"<html><frameset><frame name=a src=a.htm><frame name=b></frameset></html>");
    ASSERT_TRUE(BodyOf(*frames));
    EXPECT_EQ(L"frameset", BodyOf(*frames)->tag);
    EXPECT_EQ(2u, FindElements(*frames, [](const Node& n) { return n.Is(L"frame"); }).size());
}

TEST(HtmlTree, SerialisesAsTheEngineDoes)
{
    EXPECT_EQ(L"You have <B>12</B> unread <A href=\"x.htm?a=1\" id=n1>mail</A><BR>",
              BodyHtml(L"<body>You have <b>12</b> unread <a href=\"x.htm?a=1\" id='n1'>mail</a><br></body>"));
    EXPECT_EQ(L"<DIV title=\"say &quot;hi&quot;\">x</DIV>", BodyHtml(L"<div title='say \"hi\"'>x</div>"));
    EXPECT_EQ(L"<UL><LI>a</LI><LI>b</LI></UL>", BodyHtml(L"<ul><li>a<li>b</ul>"));
    // Stray end tags are dropped; unclosed elements end with their parent.
    EXPECT_EQ(L"<DIV><SPAN>a</SPAN></DIV>b", BodyHtml(L"<div><span>a</i></div>b</span>"));
}

TEST(HtmlTree, TextCollapsesWhiteSpaceAndBreaksLinesAtBlocks)
{
    EXPECT_EQ(L"Hello world\r\nnext\r\nline\r\ntwo",
              BodyText(L"<body>  Hello\n   <b>world</b> <div>next</div>line<br>two</body>"));
    EXPECT_EQ(L"Inbox 7 unread", BodyText(L"<table><tr><td>Inbox</td><td><b>7</b> unread</td></tr></table>"));
    EXPECT_EQ(L"a\u00a0b < c", BodyText(L"<p>a&nbsp;b &lt; c</p><script>hidden()</script><style>p{}</style>"));
    EXPECT_EQ(L"", BodyText(L""));
}

TEST(HtmlTree, FindsElementsByIdBeforeNameAndFormsOfFields)
{
    NodePtr root = ParseDocument(L"<form id=f1><input name=user><div><input id=user name=other></div></form>"
                                 L"<input name=outside>");
    NodePtr byId = FindById(*root, L"user");
    ASSERT_TRUE(byId);
    EXPECT_EQ(L"other", byId->AttributeOr(L"name"));
    NodePtr form = FormOf(*byId);
    ASSERT_TRUE(form);
    EXPECT_EQ(L"f1", form->AttributeOr(L"id"));
    EXPECT_FALSE(FormOf(*FindById(*root, L"outside")));
    EXPECT_EQ(2u, FindElements(*form, IsFormField).size());
    EXPECT_FALSE(FindById(*root, L""));
}

TEST(HtmlTree, FragmentsReplaceChildrenAndDecodingHandlesNumericReferences)
{
    NodePtr root = ParseDocument(L"<body><div id=d>old</div></body>");
    NodePtr div = FindById(*root, L"d");
    div->ReplaceChildren(ParseFragment(L"<i>new</i> text"));
    EXPECT_EQ(L"<I>new</I> text", InnerHtml(*div));
    EXPECT_EQ(div.get(), div->children[0]->parent);
    EXPECT_EQ(L"A\u00e9\U0001F600&bogus; &", DecodeEntities(L"&#65;&#xe9;&#x1F600;&bogus; &"));
    EXPECT_EQ(L"&lt;a&gt; &amp;", EscapeText(L"<a> &"));
}

}  // namespace
