// The cleaning run and the output name.
#include "cleaner/clean.h"

#include "cleaner/held.h"
#include "cleaner/leaders.h"
#include "cleaner/prune.h"
#include "runtime/array.h"
#include "runtime/files.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace cleaner {

using runtime::OfByteSet;
using runtime::OfInt32;
using runtime::OfText;
using runtime::Owned;

namespace {

constexpr int32_t kExtensionLength = 4;  // ".rws", taken as read: what it is is not tested

void ShowError(runtime::ConstText text) {
    runtime::ShowMessage({OfText(text), OfInt32(0), OfText("错误")});
}

}  // namespace

runtime::ByteSet CleanBytes(runtime::ConstByteSet file, bool* lost) {
    *lost = false;
    runtime::ArrayCell leader_ids = runtime::NewTextArray();
    CollectLeaderIds(file, leader_ids);
    PawnSection section = CutPawnSection(file);
    runtime::ByteSet out = nullptr;
    if (runtime::ArrayMemberCount(*leader_ids) == 0) {
        ShowError("错误信息：未找到帮派首领信息");
    } else if (!section.Present()) {
        // Without the list there is nothing to prune; splicing around a missing tag would
        // write a broken save.
        ShowError("错误信息：未找到世界人物列表");
    } else {
        SaveView whole = SaveView::Of(file);
        out = PrunePawnList(file, section, *leader_ids, CollectHeldIds(whole, FactionSection(whole)), lost);
    }
    runtime::ReleaseArray(leader_ids);
    return out;
}

runtime::Text BuildOutputPath(runtime::ConstText input_path) {
    auto path = OfText(input_path);
    // The last backslash; FindText steps over GBK characters, whose second byte may be 0x5C.
    int32_t separator = 0;
    for (int32_t b = runtime::FindText({path, OfText("\\")}); b > 0;
         b = runtime::FindText({path, OfText("\\"), OfInt32(b + 1)})) {
        separator = b;
    }
    int32_t length = runtime::TextLength({path});
    Owned<char> name(runtime::RightText({path, OfInt32(length - separator)}));
    int32_t name_length = runtime::TextLength({OfText(name.get())});
    Owned<char> base_name(runtime::LeftText({OfText(name.get()), OfInt32(name_length - kExtensionLength)}));
    Owned<char> folder(runtime::LeftText({path, OfInt32(separator)}));
    Owned<char> stem(runtime::ConcatText({folder.get(), base_name.get(), "-A"}));
    for (;;) {
        Owned<char> candidate(runtime::ConcatText({stem.get(), ".rws"}));
        if (!runtime::FileExists({OfText(candidate.get())})) return candidate.release();
        stem.reset(runtime::ConcatText({stem.get(), "-A"}));
    }
}

void CleanSave(runtime::ConstText save_path) {
    Owned<runtime::ByteSetHeader> file(runtime::ReadFileBytes({OfText(save_path)}));
    bool lost = false;
    Owned<runtime::ByteSetHeader> out(CleanBytes(file.get(), &lost));
    if (lost) {
        ShowError("错误代码：01");
        runtime::EndProgram(0);
    }
    if (out == nullptr) return;

    Owned<char> target(BuildOutputPath(save_path));
    if (!runtime::WriteFileBytes({OfText(target.get()), OfByteSet(out.get())})) {
        // Only a file this run created is removed: the name was free a moment ago.
        if (runtime::FileExists({OfText(target.get())})) runtime::RemoveFile({OfText(target.get())});
        Owned<char> text(runtime::ConcatText({"错误信息：存档写入失败：", target.get()}));
        ShowError(text.get());
        return;
    }
    Owned<char> text(
        runtime::ConcatText({"提示信息：存档以优化成功！请进入游戏查看！存档路径为：", target.get()}));
    runtime::ShowMessage({OfText(text.get()), OfInt32(0), OfText("成功")});
}

}  // namespace cleaner
