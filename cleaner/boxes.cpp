// The boxes of a cleaning run.
#include "cleaner/boxes.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "cleaner/extra_kinds.h"
#include "runtime/format.h"
#include "runtime/text.h"

namespace cleaner {

using runtime::OfInt32;
using runtime::OfText;
using runtime::OwnedText;

namespace {

void ShowError(runtime::ConstText text) {
    runtime::ShowMessage({OfText(text), OfInt32(0), OfText("错误")});
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

}  // namespace

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

void ShowReadFailure(runtime::ConstText save_path, runtime::ReadFailure failure) {
    if (failure != runtime::ReadFailure::kMissing) return ShowError(HaltText(Halt::kUnread, save_path).get());
    OwnedText text(runtime::ConcatText({"错误信息：存档不存在：", save_path}));
    ShowError(text.get());
}

void ShowWriteFailure(runtime::ConstText path, uint32_t error) {
    OwnedText text(runtime::ConcatText({"错误信息：存档写入失败：", path, "\r\n", WriteFailureReason(error).get()}));
    ShowError(text.get());
}

void ShowSuccess(runtime::ConstText path, runtime::ConstText changed) {
    OwnedText text(runtime::ConcatText({"提示信息：存档以优化成功！请进入游戏查看！存档路径为：", path, "\r\n", changed}));
    runtime::ShowMessage({OfText(text.get()), OfInt32(0), OfText("成功")});
}

std::string Changed(int64_t before, int64_t after, const PruneCounts& counts) {
    std::string line = "原存档 " + SizeText(before) + "，新存档 " + SizeText(after) + "；";
    const int32_t asleep = std::max(counts.mothballed_removed, 0);
    if (counts.living_removed == 0 && asleep == 0) return line + "没有移除世界人物";
    line += "移除存活的世界人物 " + std::to_string(counts.living_removed) + " 个";
    if (counts.mothballed_removed >= 0) line += "、休眠的世界人物 " + std::to_string(counts.mothballed_removed) + " 个";
    return line;
}

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

}  // namespace cleaner
