#pragma once

// Saves the first 8 code bytes of SetUnhandledExceptionFilter and overwrites them so that
// the function returns null at once and leaves the registered filter alone.
bool PatchSetUnhandledExceptionFilter();

// Writes the saved bytes back; false when nothing was saved or the code was not writable.
bool RestoreSetUnhandledExceptionFilter();

// True when savedPrologue holds bytes to restore (all zero means nothing is saved).
bool IsPrologueSaved();
