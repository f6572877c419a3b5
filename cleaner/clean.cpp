// The cleaning run: the save read once, its index, the pruning, the output and its boxes.
#include "cleaner/clean.h"

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cleaner/boxes.h"
#include "cleaner/output.h"
#include "cleaner/prune.h"
#include "cleaner/save_index.h"
#include "runtime/files.h"

namespace cleaner {

using runtime::OfText;

namespace {

// The save's file as the cleaning reads it.
class FileSource : public SaveSource {
public:
    explicit FileSource(runtime::SaveFile& file) : file_(file) {}
    int64_t Size() const override { return file_.size(); }
    bool Next(std::span<const uint8_t>* chunk, size_t keep) override { return file_.Next(chunk, keep); }
    bool ReadAt(int64_t offset, uint8_t* out, size_t n) override { return file_.ReadAt(offset, out, n); }

private:
    runtime::SaveFile& file_;
};

// Opens the save at `save_path` for reading; where it cannot, shows why.
bool OpenSave(runtime::ConstText save_path, runtime::SaveFile& save) {
    runtime::ReadFailure failure = runtime::ReadFailure::kNone;
    if (save.Open({OfText(save_path)}, &failure)) return true;
    ShowReadFailure(save_path, failure);
    return false;
}

}  // namespace

Pruned CleanSource(SaveSource& source, const CleanOptions& options) {
    SaveIndex index;
    if (!IndexSave(source, &index, options.AnyExtra())) {
        Pruned unread;
        unread.halt = Halt::kUnread;
        return unread;
    }
    return PrunePawnList(source, index, options);
}

SaveMeasure MeasureSave(runtime::ConstText save_path) {
    SaveMeasure measure;
    runtime::SaveFile save;
    if (!OpenSave(save_path, save)) return measure;
    measure.size = save.size();
    FileSource source(save);
    SaveIndex index;
    if (!IndexSave(source, &index, true)) {
        ShowReadFailure(save_path, runtime::ReadFailure::kUnreadable);
        return measure;
    }
    bool unread = false;  // a stretch of the save could not be read again
    const auto run = [&](const CleanOptions& options) {
        Pruned pruned = PrunePawnList(source, index, options);
        unread = unread || pruned.halt == Halt::kUnread;
        int64_t written = 0;
        for (const Piece& piece : pruned.pieces) written += piece.length;
        return std::make_pair(pruned, measure.size - written);
    };
    CleanOptions plain;
    const auto [base, base_bytes] = run(plain);
    if (unread || !save.Intact()) {
        ShowReadFailure(save_path, runtime::ReadFailure::kUnreadable);
        return measure;
    }
    measure.read = true;
    measure.halt = base.halt;
    for (const Item& item : index.living.items) measure.living.bytes += item.end - item.begin;
    for (const Item& item : index.mothballed.items) measure.mothballed.bytes += item.end - item.begin;
    measure.living.items = static_cast<int32_t>(index.living.items.size());
    measure.mothballed.items = static_cast<int32_t>(index.mothballed.items.size());
    for (const ExtraItem& item : index.extras) {
        Holding& holding = measure.extras[static_cast<size_t>(item.kind)];
        ++holding.items;
        holding.bytes += item.end - item.space;
    }
    if (base.halt != Halt::kNone) return measure;
    measure.living_removed = {base.counts.living_removed, base_bytes};
    CleanOptions mothballed = plain;
    mothballed.mothballed = true;
    const auto [asleep, asleep_bytes] = run(mothballed);
    measure.mothballed_removed = {asleep.counts.mothballed_removed, asleep_bytes - base_bytes};
    for (size_t kind = 0; kind < kExtraKinds; ++kind) {
        CleanOptions one = plain;
        one.extras[kind] = true;
        const ExtraCount count = run(one).first.counts.extras[kind];
        measure.extras_removed[kind] = {count.items, count.bytes};
    }
    for (bool with_mothballed : {false, true}) {
        CleanOptions all = with_mothballed ? mothballed : plain;
        all.extras.fill(true);
        const auto [pruned, bytes] = run(all);
        Holding& removed = with_mothballed ? measure.everything_removed : measure.all_removed;
        removed = {pruned.counts.living_removed + std::max(pruned.counts.mothballed_removed, 0), bytes};
        for (const ExtraCount& count : pruned.counts.extras) removed.items += count.items;
    }
    if (unread || !save.Intact()) {
        ShowReadFailure(save_path, runtime::ReadFailure::kUnreadable);
        measure.read = false;
    }
    return measure;
}

CleanReport CleanSave(runtime::ConstText save_path, const CleanOptions& options) {
    CleanReport report;
    runtime::SaveFile save;
    if (!OpenSave(save_path, save)) return report;
    report.input_size = save.size();
    FileSource source(save);
    Pruned pruned = CleanSource(source, options);
    // What was read of a save changed meanwhile is not the save: none of its boxes stand.
    if (pruned.halt == Halt::kUnread || !save.Intact()) {
        ShowReadFailure(save_path, runtime::ReadFailure::kUnreadable);
        return report;
    }
    ShowOutcome(pruned, save_path);
    report.lost = pruned.halt == Halt::kLost;
    report.counts = pruned.counts;
    if (pruned.halt != Halt::kNone) return report;
    for (const Piece& piece : pruned.pieces) report.output_size += piece.length;
    const std::string changed = Changed(report.input_size, report.output_size, pruned.counts);
    report.output = WriteOutput(save_path, save, pruned.pieces, changed.c_str(), &report.left_behind);
    if (report.written()) ShowExtrasRemoved(pruned.counts, options.settings_unread);
    return report;
}

}  // namespace cleaner
