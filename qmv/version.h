// The application's version, shared by QMV.exe, its libraries and resources.
#pragma once

#define QMV_VERSION_MAJOR 3
#define QMV_VERSION_MINOR 4
#define QMV_VERSION_PATCH 2
#define QMV_VERSION_STRING "3.4.2"
#define QMV_VERSION_TEXT L"Quillmere 3.4.2"
