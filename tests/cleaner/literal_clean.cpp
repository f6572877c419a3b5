// literal_clean IN OUT [--mothballed]: the literal cleaning steps on one save, for the
// end-to-end tests to compare the program's output with. Writes OUT only when the steps
// write a save.
#include <fstream>
#include <iostream>
#include <string>

#include "platform/platform.h"
#include "runtime/memory.h"
#include "runtime/text.h"
#include "tests/cleaner/literal.h"

namespace {
int NoBox(platform::WindowHandle, const char*, const char*, uint32_t) { return 1; }
}  // namespace

int main(int argc, char** argv) {
    const bool mothballed = argc == 4 && std::string(argv[3]) == "--mothballed";
    if (argc != 3 && !mothballed) {
        std::cerr << "usage: literal_clean IN OUT [--mothballed]\n";
        return 2;
    }
    platform::slots.MessageBoxA = NoBox;
    std::ifstream in(argv[1], std::ios::binary);
    std::string save((std::istreambuf_iterator<char>(in)), {});
    runtime::Owned<runtime::ByteSetHeader> bytes(runtime::MakeByteSet(save.data(), static_cast<int32_t>(save.size())));
    literal::Run run = literal::Clean(bytes.get(), mothballed);
    if (run.written) std::ofstream(argv[2], std::ios::binary) << run.output;
    return 0;
}
