// The board query objects: the four WMI objects that board identification
// makes, kept alive by the start-up routine until it ends.
#pragma once

namespace flashgate {

// `Wmi` names the holder type of each slot (ComPtr on Windows, fakes in tests);
// a holder is empty when default-constructed and Reset() releases what it holds.
template <class Wmi>
struct BoardQueryObjects {
    typename Wmi::Services services{};
    typename Wmi::ResultSet resultSet{};
    typename Wmi::Walker walker{};
    typename Wmi::Record currentRecord{};

    BoardQueryObjects() = default;
    BoardQueryObjects(const BoardQueryObjects&) = delete;
    BoardQueryObjects& operator=(const BoardQueryObjects&) = delete;
    ~BoardQueryObjects() { Release(); }

    // Releases in the order walker, result set, current record, services:
    // each object goes before the one it was made from, and the services
    // object, which all the others came from, goes last. Empty slots are
    // skipped, so a second call does nothing.
    void Release() {
        walker.Reset();
        resultSet.Reset();
        currentRecord.Reset();
        services.Reset();
    }
};

}  // namespace flashgate
