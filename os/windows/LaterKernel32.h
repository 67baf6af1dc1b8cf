#pragma once
// Kernel32 functions newer than Windows XP SP3, the oldest system the game
// ran on. Importing them would keep the plug-in from loading there, so they
// are found at run time: null where the system lacks them. Looked up on each
// use, which costs little next to the file work they serve.

#include <windows.h>

namespace os {

using SetFileInformationByHandleFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
using GetFinalPathNameByHandleWFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

SetFileInformationByHandleFunction FindSetFileInformationByHandle();
GetFinalPathNameByHandleWFunction FindGetFinalPathNameByHandleW();

}  // namespace os
