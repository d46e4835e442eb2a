#pragma once

#include <QString>

namespace kv {

// What the store needs from the application around it. The store shows no widgets;
// the application implements this and installs it at start.
class StoreHost
{
public:
    virtual ~StoreHost() = default;
    // The store file does not exist: may an empty store be created at this path?
    // Asked at most once per process.
    virtual bool OfferToCreateStore(const QString& path) = 0;
    // The file exists but cannot be opened (wrong key, damaged, not a store).
    // Said at most once per process.
    virtual void ReportStoreUnopenable(const QString& path) = 0;
    // A value that must be text is not: end the program through the error box.
    [[noreturn]] virtual void StopOnTypeMismatch() = 0;
};

// Installs the host (nullptr: no dialogs, and a type mismatch ends the process with -1).
void SetStoreHost(StoreHost* host);
StoreHost* CurrentStoreHost();
// Lets the once-per-process offer and report be shown again (for tests).
void ResetStoreDialogs();

} // namespace kv
