#pragma once

#include "store/StoreHost.h"

namespace kv {

// The store's dialogs in the program: an offer to create a missing store, a message when
// the store file cannot be opened (both message boxes naming the path, modal to the whole
// program, without an owner), and the type-mismatch stop through the error box.
class AppStoreHost : public StoreHost
{
public:
    bool OfferToCreateStore(const QString& path) override;
    void ReportStoreUnopenable(const QString& path) override;
    [[noreturn]] void StopOnTypeMismatch() override;
};

// Texts of the two boxes, for a path.
QString StoreOfferText(const QString& path);
QString StoreUnopenableText(const QString& path);

} // namespace kv
