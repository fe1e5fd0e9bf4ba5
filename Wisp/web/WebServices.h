// What the control asks of the web subsystem: starting an asynchronous HTTP request whose
// completion is posted to a window.
#pragma once

#include <windows.h>

struct HttpRequestParams {
    unsigned long requestId;
    const char* verb;
    const char* server;
    const char* serverPath;
    const char* localPath;
    const char* postData;
    unsigned long postDataLength;
    unsigned short port;
    unsigned long accessType;
    bool secure;   // TLS (an https URL)
};

// Starts the request; the result arrives at notifyWindow as message 0x040C. False when it could
// not be started.
bool StartAsyncHttpRequest(const HttpRequestParams& params, HWND notifyWindow);
