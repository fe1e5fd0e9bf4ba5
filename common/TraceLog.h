// The one diagnostic output of both deliverables. Off unless HKCU "Software\Ashgrove\Tidewire"
// value "debug" turns it on: 1 sends every message to the debugger output, 2 or more also to a
// per-process file in the user's "Quill\Tidewire" folder. Messages carry their own "\n".
#pragma once

#include <windows.h>
#include <cstddef>

void TraceLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Traces "<label> {Left=.., Top=.., Right=.., Bottom=..}\n".
void TraceRect(const char* label, const RECT& rect);

// The raw 32-bit "debug" value, 0 when the key or value is missing or longer than four bytes.
int ReadDebugLevel();

// The file this process traces into at level 2: <AppData>\Quill\Tidewire\<exe name>.<pid>.txt.
// False when the folder cannot be found or the path would not fit.
bool BuildTraceLogPath(char* path, std::size_t size);
