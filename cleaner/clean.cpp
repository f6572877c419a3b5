// The cleaning run and the output name.
#include "cleaner/clean.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cleaner/extra_kinds.h"
#include "cleaner/prune.h"
#include "cleaner/save_index.h"
#include "runtime/array.h"
#include "runtime/files.h"
#include "runtime/format.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace cleaner {

using runtime::OfInt32;
using runtime::OfText;
using runtime::OwnedText;

namespace {

constexpr int32_t kExtensionLength = 4;  // ".rws"

void ShowError(runtime::ConstText text) {
    runtime::ShowMessage({OfText(text), OfInt32(0), OfText("错误")});
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

OwnedText HaltText(Halt halt, runtime::ConstText save_path) {
    switch (halt) {
        case Halt::kNoLeaders:
        case Halt::kNoSave: return OwnedText(runtime::ConcatText({"错误信息：未找到帮派首领信息"}));
        case Halt::kNoList: return OwnedText(runtime::ConcatText({"错误信息：未找到世界人物列表"}));
        case Halt::kLost: return OwnedText(runtime::ConcatText({"错误代码：01"}));
        case Halt::kUnread: return OwnedText(runtime::ConcatText({"错误信息：存档读取失败：", save_path}));
        case Halt::kCutShort:
            return OwnedText(runtime::ConcatText({"错误信息：存档读取失败：", save_path, "\r\n存档不完整：文件在存档结尾之前中断"}));
        case Halt::kNone: break;
    }
    return nullptr;
}

void ShowOutcome(const Pruned& pruned, runtime::ConstText save_path) {
    for (const Notice& notice : pruned.notices) {
        OwnedText taken(runtime::ToText({OfInt32(notice.taken)}));
        if (notice.kind == Notice::Kind::kShortEntry) {
            OwnedText text(runtime::ConcatText({"首领数据获取第：", taken.get(), "获取出错"}));
            runtime::ShowMessage({OfText(text.get())});
        } else {
            OwnedText total(runtime::ToText({OfInt32(notice.total)}));
            OwnedText text(runtime::ConcatText({"总首领数：", total.get(), "\r\n成功获取的首领数：", taken.get(),
                                                  "\r\n不影响游戏正常运行\r\n请联系作者修复！"}));
            runtime::ShowMessage({OfText(text.get()), OfInt32(0), OfText("提示：首领信息缺失")});
        }
    }
    if (pruned.halt != Halt::kNone) ShowError(HaltText(pruned.halt, save_path).get());
}

std::string SizeText(int64_t bytes) {
    char text[32];
    auto n = static_cast<double>(bytes);
    if (bytes >= 1024 * 1024) std::snprintf(text, sizeof text, "%.1f MB", n / (1024.0 * 1024.0));
    else std::snprintf(text, sizeof text, "%.1f KB", n / 1024.0);
    return text;
}

OwnedText BuildOutputPath(runtime::ConstText input_path) {
    auto path = OfText(input_path);
    // The last backslash; FindText steps over GBK characters, whose second byte may be 0x5C.
    int32_t separator = 0;
    for (int32_t b = runtime::FindText({path, OfText("\\")}); b > 0;
         b = runtime::FindText({path, OfText("\\"), OfInt32(b + 1)})) {
        separator = b;
    }
    int32_t length = runtime::TextLength({path});
    OwnedText name(runtime::RightText({path, OfInt32(length - separator)}));
    // Only the file name's own ".rws" is replaced; any other name keeps all it has.
    // "." is never half of a GBK character, so a name ending in ".rws" ends in those four.
    int32_t name_length = runtime::TextLength({OfText(name.get())});
    OwnedText ending(runtime::RightText({OfText(name.get()), OfInt32(kExtensionLength)}));
    bool rws = name_length >= kExtensionLength &&
               runtime::FindText({OfText(ending.get()), OfText(".rws"), OfInt32(1), runtime::OfBool(true)}) == 1;
    int32_t kept = rws ? name_length - kExtensionLength : name_length;
    OwnedText base_name(runtime::LeftText({OfText(name.get()), OfInt32(kept)}));
    OwnedText folder(runtime::LeftText({path, OfInt32(separator)}));
    OwnedText stem(runtime::ConcatText({folder.get(), base_name.get(), "-A"}));
    for (;;) {
        OwnedText candidate(runtime::ConcatText({stem.get(), ".rws"}));
        if (!runtime::FileExists({OfText(candidate.get())})) return candidate;
        stem.reset(runtime::ConcatText({stem.get(), "-A"}));
    }
}

namespace {

void ShowReadFailure(runtime::ConstText save_path, runtime::ReadFailure failure) {
    if (failure != runtime::ReadFailure::kMissing) return ShowError(HaltText(Halt::kUnread, save_path).get());
    OwnedText text(runtime::ConcatText({"错误信息：存档不存在：", save_path}));
    ShowError(text.get());
}

using Pieces = std::span<const Piece>;

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

// Where the output is written before it is whole: the output name with ".tmp" in place of
// its ".rws". No list of saves shows it, and it is never longer than the name it stands for,
// so a name that fits is never refused for its temporary one.
OwnedText TemporaryName(runtime::ConstText target) {
    OwnedText stem(runtime::LeftText({OfText(target), OfInt32(runtime::TextLength({OfText(target)}) - kExtensionLength)}));
    return OwnedText(runtime::ConcatText({stem.get(), ".tmp"}));
}

// The second line of the write-failure box: why, as the system said.
OwnedText WriteFailureReason(uint32_t error) {
    switch (runtime::WriteFailureOf(error)) {
        case runtime::WriteFailure::kDiskFull: return OwnedText(runtime::ConcatText({"原因：磁盘空间不足"}));
        case runtime::WriteFailure::kNoPermission: return OwnedText(runtime::ConcatText({"原因：没有写入权限"}));
        case runtime::WriteFailure::kNameTooLong: return OwnedText(runtime::ConcatText({"原因：文件名太长"}));
        case runtime::WriteFailure::kOther: break;
    }
    if (error == 0) return OwnedText(runtime::ConcatText({"原因：未能完整写入"}));
    OwnedText code(runtime::ToText({runtime::OfInt32(static_cast<int32_t>(error))}));
    return OwnedText(runtime::ConcatText({"原因：系统错误代码 ", code.get()}));
}

// Writes the pieces to a new file named for the first free "-A" name from `*target` on: its
// temporary name, or the name itself. `*target` moves on while the file's name is taken;
// `*file` is the name written (or tried last).
runtime::NewFile WriteAtFreeName(runtime::SaveFile& save, Pieces pieces, bool temporary, OwnedText* target,
                                 OwnedText* file, uint32_t* error) {
    for (;;) {
        *file = temporary ? TemporaryName(target->get()) : OwnedText(runtime::ConcatText({target->get()}));
        const runtime::NewFile result = runtime::WriteNewFileRanges(file->get(), save, pieces, error);
        if (result != runtime::NewFile::kNameTaken) return result;
        *target = BuildOutputPath(target->get());
    }
}

// Gives the file written the first free "-A" name from `*target` on.
runtime::NewFile MoveToFreeName(runtime::ConstText file, OwnedText* target) {
    runtime::NewFile result;
    while ((result = runtime::MoveToNewName({OfText(file), OfText(target->get())})) == runtime::NewFile::kNameTaken)
        *target = BuildOutputPath(target->get());
    return result;
}

// Writes the output under the first free "-A" name, never through a name that exists, and
// so that no file ever bears a save's name before it is whole and on the disk: the pieces go
// to the temporary name, created exclusively, and the file takes its name only once it is
// written, flushed and closed, by a move that replaces nothing. A name found taken at the
// create or at the move gives way to the next one. Where the file system can give no new
// name that way, the output is written under its own name, created exclusively. The pieces
// are the save's own bytes where they lie: a save changed under them before the output has
// its name gets the read-failure box, and nothing is left. Otherwise shows the success or
// the write-failure box; returns the path written, or null. A partial file that could not be
// removed again is left under the name it was written to, in `*left_behind`.
OwnedText WriteOutput(runtime::ConstText save_path, runtime::SaveFile& save, const std::vector<Piece>& pieces,
                      runtime::ConstText changed, OwnedText* left_behind) {
    OwnedText target = BuildOutputPath(save_path), file;
    uint32_t error = 0;
    runtime::NewFile result = WriteAtFreeName(save, pieces, true, &target, &file, &error);
    bool intact = save.Intact();  // every byte of the output is copied by now
    if (result == runtime::NewFile::kWritten && intact) {
        result = MoveToFreeName(file.get(), &target);
        if (result == runtime::NewFile::kRefused) {
            runtime::RemoveFile({OfText(file.get())});
            result = WriteAtFreeName(save, pieces, false, &target, &file, &error);
            intact = save.Intact();
        }
    }
    if (result != runtime::NewFile::kWritten || !intact) {
        if (result == runtime::NewFile::kWritten) runtime::RemoveFile({OfText(file.get())});
        if (runtime::FileExists({OfText(file.get())})) *left_behind = std::move(file);
        if (!intact) {
            ShowReadFailure(save_path, runtime::ReadFailure::kUnreadable);
        } else {
            OwnedText text(runtime::ConcatText({"错误信息：存档写入失败：", target.get(), "\r\n", WriteFailureReason(error).get()}));
            ShowError(text.get());
        }
        return nullptr;
    }
    // The new name itself on the disk; the output's bytes are there already, so a failure
    // here costs at most the name in a power cut, never a broken file under it.
    runtime::FlushFolderOf({OfText(target.get())});
    OwnedText text(runtime::ConcatText({"提示信息：存档以优化成功！请进入游戏查看！存档路径为：", target.get(), "\r\n", changed}));
    runtime::ShowMessage({OfText(text.get()), OfInt32(0), OfText("成功")});
    return target;
}

// The success box's second line: the sizes before and after, and the world pawns removed.
std::string Changed(int64_t before, int64_t after, const PruneCounts& counts) {
    std::string line = "原存档 " + SizeText(before) + "，新存档 " + SizeText(after) + "；";
    const int32_t asleep = std::max(counts.mothballed_removed, 0);
    if (counts.living_removed == 0 && asleep == 0) return line + "没有移除世界人物";
    line += "移除存活的世界人物 " + std::to_string(counts.living_removed) + " 个";
    if (counts.mothballed_removed >= 0) line += "、休眠的世界人物 " + std::to_string(counts.mothballed_removed) + " 个";
    return line;
}

// After a written output: what each option that removes extra items removed, in items and
// MB (the whitespace before each item counted with it); that the settings were not read,
// where they could not be.
void ShowExtrasRemoved(const PruneCounts& counts, bool settings_unread) {
    std::string text;
    for (const ExtraKindRow& row : kExtraKindRows) {
        const ExtraCount& count = counts.extras[static_cast<size_t>(row.kind)];
        if (count.items < 0) continue;
        char line[128];
        std::snprintf(line, sizeof line, "%s：移除 %d 项，%.2f MB\r\n", row.label, count.items,
                      static_cast<double>(count.bytes) / (1024.0 * 1024.0));
        text += line;
    }
    if (settings_unread) text += "未能读取 sorrel.ini（找不到程序所在的文件夹），其中的选项未生效\r\n";
    if (!text.empty()) runtime::ShowMessage({OfText(text.c_str()), OfInt32(0), OfText("清理结果")});
}

// Opens the save at `save_path` for reading; where it cannot, shows why.
bool OpenSave(runtime::ConstText save_path, runtime::SaveFile& save) {
    runtime::ReadFailure failure = runtime::ReadFailure::kNone;
    if (save.Open({OfText(save_path)}, &failure)) return true;
    ShowReadFailure(save_path, failure);
    return false;
}

}  // namespace

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
