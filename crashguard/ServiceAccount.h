#pragma once

// True when the process runs as LocalSystem, LocalService or NetworkService; false also
// when the token cannot be read.
bool IsServiceAccount();
