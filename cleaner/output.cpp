// The output file.
#include "cleaner/output.h"

#include <span>
#include <utility>

#include "cleaner/boxes.h"
#include "runtime/text.h"

namespace cleaner {

using runtime::OfInt32;
using runtime::OfText;
using runtime::OwnedText;

namespace {

constexpr int32_t kExtensionLength = 4;  // ".rws"

using Pieces = std::span<const Piece>;

// Where the output is written before it is whole: the output name with ".tmp" in place of
// its ".rws". No list of saves shows it, and it is never longer than the name it stands for,
// so a name that fits is never refused for its temporary one.
OwnedText TemporaryName(runtime::ConstText target) {
    OwnedText stem(runtime::LeftText({OfText(target), OfInt32(runtime::TextLength({OfText(target)}) - kExtensionLength)}));
    return OwnedText(runtime::ConcatText({stem.get(), ".tmp"}));
}

}  // namespace

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

}  // namespace

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
            ShowWriteFailure(target.get(), error);
        }
        return nullptr;
    }
    // The new name itself on the disk; the output's bytes are there already, so a failure
    // here costs at most the name in a power cut, never a broken file under it.
    runtime::FlushFolderOf({OfText(target.get())});
    ShowSuccess(target.get(), changed);
    return target;
}

}  // namespace cleaner
