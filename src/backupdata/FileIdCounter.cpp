#include "backupdata/FileIdCounter.h"

#include "core/QuayRegistryObject.h"

namespace {

// Read and written through the store each time: another process (the file-manager
// helper's run, a second window) may have advanced it in between.
class SettingsFileIdCounter : public FileIdCounter
{
public:
    int current() const override { return TQuayRegistryObject().ReadFileIDNumber(); }
    int advance() override
    {
        const TQuayRegistryObject store;
        const int next = store.ReadFileIDNumber() + 1;
        store.WriteFileIDNumber(next);
        return next;
    }
};

} // namespace

FileIdCounter& FileIdCounter::settings()
{
    static SettingsFileIdCounter counter;
    return counter;
}
