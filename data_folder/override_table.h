#pragma once
// The entries of several archives as one list, and which of them the game sees: for each path, compared as
// the game compares them (case-insensitively, "\" and "/" alike), the entry of the latest archive in load
// order wins and overrides the others.
//
// A row is 8 bytes: its source (an archive, by its place in load order) and its entry there. Rows stand in
// path order (folders, then files, case-insensitively in code point order), the rows of one path together in
// load order. Building sorts nothing that the archives' own listings have in order already: the rows of a
// folder that several archives hold are merged. Which archives take part can change (an archive left out,
// one that the game does not load taken in): winners, "conflicts only" and the counts are then recomputed in
// one pass over the rows.
//
// Paths whose names split differently between folder and file ("a\b" + "c" and "a" + "b\c") are different
// paths here: the game splits a path at its last "\", and no archive the game reads holds a file name with
// one.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/bsa_index.h"

struct TSourceRow {
    TEntryRef entry = 0;
    uint16_t source = 0;
    uint8_t flags = 0; // kFirstOfPath, kWinner, kOverridden
    uint8_t unused = 0;
};
static_assert(sizeof(TSourceRow) == 8);

// What a row is to the game, with the sources that take part.
enum class TRowState {
    Winner,     // the path's entry of the latest source that takes part
    Overridden, // a later source that takes part has the path too
    Left,       // its source does not take part
};

class TOverrideTable {
public:
    using TRowIndex = uint32_t;
    static constexpr size_t kMaxSources = 0xFFFF;

    TOverrideTable() = default;
    // The rows of sources (in load order, at most kMaxSources), every source taking part. The indexes must
    // outlive the table.
    explicit TOverrideTable(std::vector<const TBsaIndex*> sources);

    const std::vector<TSourceRow>& Rows() const { return rows_; }
    size_t SourceCount() const { return sources_.size(); }
    const TBsaIndex& SourceIndex(size_t source) const { return *sources_[source]; }

    // Which sources take part (one flag per source); winners and counts follow at once. O(rows).
    void SetTakingPart(const std::vector<bool>& takingPart);
    bool TakesPart(size_t source) const { return takingPart_[source]; }

    TRowState State(TRowIndex row) const;
    // The rows of the row's path: [first, end).
    std::pair<TRowIndex, TRowIndex> PathRows(TRowIndex row) const;
    // The winning row of the row's path, if any source of the path takes part.
    std::optional<TRowIndex> WinnerOf(TRowIndex row) const;

    // The rows of every path that more than one taking part source holds, taking part only, in row order:
    // each path's winner after the rows it overrides. O(rows).
    std::vector<TRowIndex> ConflictRows() const;
    // Of each source, the paths whose winner it holds and its rows that another source overrides.
    uint32_t Wins(size_t source) const { return wins_[source]; }
    uint32_t Losses(size_t source) const { return losses_[source]; }

    // The rows of the path folder\file (any case, "/" for "\"), or an empty range. O(log rows).
    std::pair<TRowIndex, TRowIndex> FindPath(std::u16string_view path) const;

    // Compares the paths of two rows: negative, zero or positive.
    int ComparePaths(TRowIndex a, TRowIndex b) const;

private:
    static constexpr uint8_t kFirstOfPath = 1;
    static constexpr uint8_t kWinner = 2;
    static constexpr uint8_t kOverridden = 4;

    std::string_view FileName(const TSourceRow& row) const;
    int CompareFileNames(const TSourceRow& a, const TSourceRow& b) const;

    std::vector<const TBsaIndex*> sources_;
    std::vector<TSourceRow> rows_;
    std::vector<bool> takingPart_;
    std::vector<uint32_t> wins_;
    std::vector<uint32_t> losses_;
    // Each source's folders' keys (folded, "/" as "\"), by their place in its listing: lookups compare them.
    std::vector<std::vector<std::u16string>> folderKeys_;
};
