#pragma once

// An ordered dictionary with signed 32-bit keys: entries keep the order in which they were
// added and are found both by key and by position. Used for the template's slide table (keyed
// by slide id) and for each slide's shapes (keyed by shape id).

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "office/error.h"

namespace tabulon {

template <class Value>
class KeyedCollection {
public:
    // Appends the entry. A key that is already present fails with InvalidArgument and leaves
    // the collection unchanged.
    void Add(std::int32_t key, Value value) {
        if (Contains(key)) {
            throw office::Error(
                office::ErrorCode::InvalidArgument,
                "keyed collection: key " + std::to_string(key) + " is already present");
        }
        index_.emplace(key, entries_.size());
        entries_.emplace_back(key, std::move(value));
    }

    // The value stored under key. Fails with IndexOutOfRange for a key that is not present.
    const Value& Item(std::int32_t key) const { return entries_[positionOf(key)].second; }

    bool Contains(std::int32_t key) const { return index_.find(key) != index_.end(); }

    int Count() const noexcept { return static_cast<int>(entries_.size()); }

    // Removes every entry; the values are released in insertion order.
    void Clear() {
        index_.clear();
        entries_.clear();
    }

    // The key and the value at a 0-based position in insertion order. Fails with
    // IndexOutOfRange outside 0 to Count() - 1.
    std::int32_t KeyAt(int position) const { return entryAt(position).first; }
    const Value& ValueAt(int position) const { return entryAt(position).second; }

private:
    std::size_t positionOf(std::int32_t key) const {
        const auto found = index_.find(key);
        if (found == index_.end()) {
            throw office::Error(office::ErrorCode::IndexOutOfRange,
                                "keyed collection: no entry with key " + std::to_string(key));
        }
        return found->second;
    }

    const std::pair<std::int32_t, Value>& entryAt(int position) const {
        if (position < 0 || position >= Count()) {
            throw office::Error(office::ErrorCode::IndexOutOfRange,
                                "keyed collection: position " + std::to_string(position) +
                                    " is outside 0 to " + std::to_string(Count() - 1));
        }
        return entries_[static_cast<std::size_t>(position)];
    }

    std::vector<std::pair<std::int32_t, Value>> entries_;
    std::unordered_map<std::int32_t, std::size_t> index_;
};

}  // namespace tabulon
