// The two process-wide registries of class and methods records.
#pragma once

#include <atomic>

#include "stubs/records.h"

namespace torso::stubs {

/// A static cell: one record and the link to the entry added before it.
template <class Record>
struct RegistryEntry {
    const Record& record;
    const RegistryEntry* next = nullptr;  // written once, before the entry is published
};

/// A singly linked list that only grows at its head; adding is lock-free and safe
/// against concurrent adders. A walk meets the entries newest first.
template <class Record>
class Registry {
public:
    using Entry = RegistryEntry<Record>;

    constexpr Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    /// Put `entry` at the head. Each entry is added once and lives as long as the process.
    void add(Entry& entry) noexcept {
        entry.next = head_.load(std::memory_order_relaxed);
        // Release: whoever loads the new head also sees the entry's record and link.
        while (!head_.compare_exchange_weak(entry.next, &entry, std::memory_order_release,
                                            std::memory_order_relaxed)) {
        }
    }

    /// The most recently added entry, or null; follow `next` for the older ones.
    const Entry* head() const noexcept { return head_.load(std::memory_order_acquire); }

private:
    std::atomic<const Entry*> head_{nullptr};
};

/// Registry of the class records.
Registry<PyClassInfo>& class_registry() noexcept;

/// Registry of the methods records.
Registry<PyMethodsInfo>& methods_registry() noexcept;

}  // namespace torso::stubs
