#pragma once

#include "core/SecretStore.h"

#include <atomic>
#include <mutex>
#include <optional>

// The desktop's keyring over the Secret Service, through QtKeychain. Its jobs answer
// through an event loop; they run one at a time on a thread of their own, so a
// caller on any thread (the window's, the sequence's worker or helper) waits without
// an event loop of its own, and never longer than the time given per operation. An
// operation that takes longer counts as no answer, and from then on the store asks
// the keyring nothing more, so a keyring that hangs costs one wait per process.
class SecretServiceStore : public SecretStore
{
public:
    // Long enough to type the keyring's password when the desktop asks to unlock it.
    static constexpr int DefaultTimeoutMs = 60000;

    explicit SecretServiceStore(int timeoutMs = DefaultTimeoutMs);
    SecretServiceStore(const SecretServiceStore&) = delete;
    SecretServiceStore& operator=(const SecretServiceStore&) = delete;

    Outcome availability(const Item& probe) override;
    Reading read(const Item& item) override;
    Outcome write(const Item& item, const QString& value) override;
    Outcome remove(const Item& item) override;

private:
    enum class Operation
    {
        Read,
        Write,
        Remove
    };

    Reading run(Operation operation, const Item& item, const QString& value = {});
    bool defaultCollectionLocked() const;

    const int m_timeoutMs;
    std::mutex m_availabilityMutex;
    std::optional<Outcome> m_availability;
    std::atomic<bool> m_gaveUp = false;
};
