#pragma once

// What each figure is held to: a ratio to its reference, a bound of its own, or nothing but
// being shown beside its reference. One row per line of the table, in the table's order.

#include <array>
#include <string_view>

namespace stats::bench {

enum class Check {
    RatioAtMost, ///< figure / reference must not exceed the limit
    FigureBelow, ///< the figure itself must stay below the limit (seconds)
    Shown,       ///< shown beside its reference, held to nothing
};

struct Target
{
    std::string_view figure;
    std::string_view figureLabel;
    std::string_view reference;
    std::string_view referenceLabel;
    Check check;
    double limit;
};

inline constexpr std::array<Target, 38> kTargets{{
    {"load/128MiB", "load, 128 MiB image", "bare-load/128MiB", "checked open+read, bare",
     Check::RatioAtMost, 1.5},
    {"load/512MiB", "load, 512 MiB image", "bare-load/512MiB", "checked open+read, bare",
     Check::RatioAtMost, 1.5},
    {"load/512MiB", "load, 512 MiB image", "load/128MiB", "load, 128 MiB image", Check::RatioAtMost,
     1.1},
    {"load-no-path-stat/128MiB", "load, no stat before open", "bare-load/128MiB",
     "checked open+read, bare", Check::Shown, 0},
    {"save/128MiB", "save, 128 MiB, no flush", "bare-save/128MiB", "its required calls, bare",
     Check::RatioAtMost, 1.5},
    {"save/512MiB", "save, 512 MiB, no flush", "bare-save/512MiB", "its required calls, bare",
     Check::RatioAtMost, 1.5},
    {"save/512MiB", "save, 512 MiB, no flush", "save/128MiB", "save, 128 MiB, no flush",
     Check::RatioAtMost, 1.1},
    {"save-no-path-stat/128MiB", "save, no stat before open", "bare-save/128MiB",
     "its required calls, bare", Check::Shown, 0},
    {"save-flush/128MiB", "save, 128 MiB, flushed", "bare-save-flush/128MiB",
     "bare save + fdatasync", Check::Shown, 0},
    {"save-flush/512MiB", "save, 512 MiB, flushed", "bare-save-flush/512MiB",
     "bare save + fdatasync", Check::Shown, 0},
    // One export is made per process, so the export is judged as a whole process (below); a
    // cache of cells that won the warm loop cost more up front than it saved.
    {"export/128MiB", "table export, 128 MiB image", "bare-export/128MiB",
     "bare table read + CSV write", Check::Shown, 0},
    {"export/512MiB", "table export, 512 MiB image", "bare-export/512MiB",
     "bare table read + CSV write", Check::Shown, 0},
    {"export/512MiB", "table export, 512 MiB image", "export/128MiB", "table export, 128 MiB image",
     Check::RatioAtMost, 1.1},
    {"export/128MiB", "table export, 128 MiB image", "bare-export-ready/128MiB",
     "bare read + write of a made CSV", Check::Shown, 0},
    {"export-names/128MiB", "table export --names, 128 MiB", "bare-export/128MiB",
     "bare table read + CSV write", Check::Shown, 0},
    {"import/128MiB", "import of 667 changes, 128 MiB", "bare-import/128MiB",
     "its required calls, bare", Check::RatioAtMost, 3.0},
    {"import/512MiB", "import of 667 changes, 512 MiB", "bare-import/512MiB",
     "its required calls, bare", Check::RatioAtMost, 3.0},
    {"import/512MiB", "import of 667 changes, 512 MiB", "import/128MiB",
     "import of 667 changes, 128 MiB", Check::RatioAtMost, 1.1},
    {"import-flush/128MiB", "import, 128 MiB, flushed", "bare-import-flush/128MiB",
     "bare import + fdatasync", Check::Shown, 0},
    {"import-flush/512MiB", "import, 512 MiB, flushed", "bare-import-flush/512MiB",
     "bare import + fdatasync", Check::Shown, 0},
    {"diff/128MiB", "diff, two 128 MiB images", "bare-diff/128MiB", "checked table read, twice",
     Check::RatioAtMost, 3.0},
    {"diff/512MiB", "diff, two 512 MiB images", "bare-diff/512MiB", "checked table read, twice",
     Check::RatioAtMost, 3.0},
    {"diff/512MiB", "diff, two 512 MiB images", "diff/128MiB", "diff, two 128 MiB images",
     Check::RatioAtMost, 1.1},
    {"names/pack", "name pack of six files, loaded", "names/built-in", "built-in names, no pack",
     Check::FigureBelow, 5e-3},
    // What an export took as a process before the cell cache went: it must not get slower.
    {"process-table/export", "stats-table export, process", "process-table/help",
     "stats-table --help, process", Check::FigureBelow, 3e-3},
    {"process-table/export-names", "stats-table export --names", "process-table/help",
     "stats-table --help, process", Check::Shown, 0},
    {"process-table/export-pack", "export --names, a name pack", "process-table/export-names",
     "stats-table export --names", Check::Shown, 0},
    {"process-table/import", "stats-table import, no change", "process-table/help",
     "stats-table --help, process", Check::Shown, 0},
    {"process-table/diff", "stats-table diff, 21 changes", "process-table/help",
     "stats-table --help, process", Check::Shown, 0},
    // The floor of a start-up is a window with the editor's 50 controls holding the same rows;
    // the minimal list window builds one control.
    {"window/editor", "window start-up (offscreen)", "window/minimal", "minimal list window",
     Check::Shown, 0},
    {"window/editor", "window start-up (offscreen)", "window/plain-controls",
     "its 50 controls, plain Qt", Check::RatioAtMost, 2.0},
    // The minimal program's first frame draws one list, the editor's its 50 controls.
    {"process/editor", "program start to 1st frame", "process/minimal", "minimal Qt program",
     Check::RatioAtMost, 1.5},
    {"mapped/editor", "program start to map", "mapped/minimal", "minimal Qt program", Check::Shown,
     0},
    {"key-load/editor", "Down key: load, fields set", "key-load/minimal", "Down key, minimal list",
     Check::FigureBelow, 1e-3},
    // A key press that paints its frame must stay far under one 60 Hz frame (16.7 ms): a
    // quarter of one. Each frame repaints the 50 controls, where the minimal list repaints one.
    {"key-load-painted/editor", "Down key: load + frame", "key-load-painted/minimal",
     "Down key + frame, minimal", Check::FigureBelow, 4e-3},
    {"key-loads-100/editor", "100 Down keys: loads", "key-loads-100/minimal",
     "100 Down keys, minimal list", Check::FigureBelow, 0.1},
    {"key-loads-100-painted/editor", "100 Down keys: + frames", "key-loads-100-painted/minimal",
     "100 Down keys + frames, min.", Check::FigureBelow, 0.4},
    {"rss/editor", "peak memory after start-up", "rss/minimal", "minimal Qt program",
     Check::RatioAtMost, 1.3},
}};

} // namespace stats::bench
