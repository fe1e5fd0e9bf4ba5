// An XML file turned into an HTML file by a style sheet, through MSXML. The saved page carries
// the Internet-zone mark, so the browser treats it as Internet content when it opens it from
// disk rather than giving it the local machine's rights.
#include <windows.h>
#include <msxml.h>

#include <string>

#include "common/TraceLog.h"
#include "common/com/ComPtr.h"
#include "common/com/Strings.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace methods {

namespace {

const IID kIID_XMLDOMDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIID_XMLDOMNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

HRESULT CreateDocument(ComPtr<IXMLDOMDocument>& document)
{
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Microsoft.XMLDOM", &clsid);
    if (FAILED(hr))
        return hr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIID_XMLDOMDocument, document.PutVoid());
    if (SUCCEEDED(hr))
        document->put_async(VARIANT_FALSE);
    return hr;
}

HRESULT LoadDocument(IXMLDOMDocument* document, const std::string& path)
{
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(WideFromAnsi(path).c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->load(source, &loaded);
    VariantClear(&source);
    if (SUCCEEDED(hr) && loaded != VARIANT_TRUE)
        hr = S_FALSE;
    return hr;
}

bool Transform(const std::string& xmlPath, const std::string& xslPath, const std::string& outPath)
{
    ComPtr<IXMLDOMDocument> source;
    HRESULT hr = CreateDocument(source);
    if (FAILED(hr)) {
        TraceLog("Failed creating XMLDom object. hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    hr = LoadDocument(source.Get(), xmlPath);
    if (hr != S_OK) {
        TraceLog("Failed loading source '%s'. hr=0x%X\n", xmlPath.c_str(), static_cast<unsigned>(hr));
        return false;
    }
    ComPtr<IXMLDOMDocument> style;
    hr = CreateDocument(style);
    if (FAILED(hr)) {
        TraceLog("Failed creating XSLDom object. hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    hr = LoadDocument(style.Get(), xslPath);
    if (hr != S_OK) {
        TraceLog("Failed loading xsl '%s'. hr=0x%X\n", xslPath.c_str(), static_cast<unsigned>(hr));
        return false;
    }
    ComPtr<IXMLDOMNode> styleRoot;
    BSTR rootQuery = SysAllocString(L"/");
    hr = style->selectSingleNode(rootQuery, styleRoot.Put());
    SysFreeString(rootQuery);
    if (hr != S_OK || !styleRoot) {
        TraceLog("Failed getting XSL Root node. hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    ComPtr<IXMLDOMDocument> destination;
    hr = CreateDocument(destination);
    if (FAILED(hr)) {
        TraceLog("Failed creating destination document object. hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    VARIANT output;
    VariantInit(&output);
    output.vt = VT_DISPATCH;
    output.pdispVal = destination.Get();
    hr = source->transformNodeToObject(styleRoot.Get(), output);
    if (FAILED(hr)) {
        TraceLog("Transform failed, hr = 0x%X\n", static_cast<unsigned>(hr));
        return false;
    }

    ComPtr<IXMLDOMComment> comment;
    BSTR mark = SysAllocString(L" saved from url=(0014)about:internet");
    hr = destination->createComment(mark, comment.Put());
    SysFreeString(mark);
    bool marked = false;
    if (SUCCEEDED(hr) && comment) {
        ComPtr<IXMLDOMNode> first;
        destination->get_firstChild(first.Put());
        VARIANT before;
        VariantInit(&before);
        if (first) {
            before.vt = VT_UNKNOWN;
            before.punkVal = first.Get();
        }
        ComPtr<IXMLDOMNode> inserted;
        marked = SUCCEEDED(destination->insertBefore(comment.Get(), before, inserted.Put()));
    }

    VARIANT target;
    VariantInit(&target);
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(WideFromAnsi(outPath).c_str());
    hr = destination->save(target);
    VariantClear(&target);
    if (FAILED(hr)) {
        TraceLog("failed saving destination document, hr = 0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    return marked;
}

}  // namespace

void ApplyXSLTransform(MethodCall& call)
{
    const std::string xmlPath = call.args.String(0);
    const std::string xslPath = call.args.String(1);
    const std::string outPath = call.args.String(2);
    if (outPath.find("..") != std::string::npos) {
        OutputDebugStringA("Directory backtracking not allowed.\n");
        return;
    }
    call.SetBool(Transform(xmlPath, xslPath, outPath));
}

}  // namespace methods
