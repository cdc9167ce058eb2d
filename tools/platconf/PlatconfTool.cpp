#include "PlatconfTool.h"

#include "LumetraVersion.h"
#include "PlatconfPacker.h"
#include "app/CustomResourceTable.h"
#include "platform/BoundedFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kProgram = "lumetra-platconf";

std::string Native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Entry names are bytes; control characters are shown escaped so that a damaged or
// hostile name cannot disturb the terminal or the table.
std::string Printable(const std::string& name)
{
    std::string out;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Width in characters of a UTF-8 text: every byte that does not continue a
// multi-byte sequence starts one character.
size_t Width(const std::string& text)
{
    size_t width = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80)
            ++width;
    }
    return width;
}

std::string PadRight(const std::string& text, size_t width)
{
    const size_t have = Width(text);
    return have >= width ? text : text + std::string(width - have, ' ');
}

std::string PadLeft(const std::string& text, size_t width)
{
    const size_t have = Width(text);
    return have >= width ? text : std::string(width - have, ' ') + text;
}

} // namespace

int PlatconfTool::Run(int argc, char** argv)
{
    if (argc < 2)
        return Usage(true);
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help")
        return Usage(false);
    if (command == "--version") {
        std::printf("%s %s\n", kProgram, LUMETRA_VERSION);
        return 0;
    }
    if (command == "pack" && argc == 4)
        return Pack(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]));
    if (command == "list" && argc == 3)
        return List(QFile::decodeName(argv[2]));
    if (command == "extract" && argc == 4)
        return Extract(QFile::decodeName(argv[2]), argv[3]);
    if (command == "pack" || command == "list" || command == "extract")
        std::fprintf(stderr, "%s: wrong number of arguments for '%s'\n", kProgram, command.c_str());
    else
        std::fprintf(stderr, "%s: unknown command '%s'\n", kProgram, command.c_str());
    return Usage(true);
}

int PlatconfTool::Usage(bool error)
{
    std::FILE* out = error ? stderr : stdout;
    std::fprintf(out,
                 "usage: %s <command> ...\n"
                 "  pack <folder> <file>     pack every file of the folder into a custom resource file\n"
                 "                           (*.png as they are, other files as zero-terminated texts;\n"
                 "                           platconf.manifest gives values and rectangles:\n"
                 "                           <name> value=<int> rect=<left>,<top>,<right>,<bottom>)\n"
                 "  list <file>              list the entries: name, data size, value, rectangle\n"
                 "  extract <file> <name>    write the data of the first entry so named to standard output\n"
                 "  --help, --version        print this help or the version\n",
                 kProgram);
    return error ? 2 : 0;
}

void PlatconfTool::Fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

bool PlatconfTool::Load(const QString& file, std::vector<_Resource_Info>* entries, std::string* damage)
{
    if (QFileInfo(file).isDir()) {
        Fail(Native(file) + " is a folder, not a custom resource file");
        return false;
    }
    // Only as much as a custom resource file may hold is read: a larger file, or a
    // device such as /dev/zero, is reported like a damaged one, with no entries.
    QByteArray image;
    std::string why;
    switch (platform::BoundedFile::Read(file, kCustomResourceFileLimit, &image, &why)) {
    case platform::BoundedFile::Result::Read:
        break;
    case platform::BoundedFile::Result::TooLarge:
        entries->clear();
        *damage = Native(file) + " is damaged: " + why + ", the most a custom resource file may have";
        return true;
    case platform::BoundedFile::Result::Missing:
    case platform::BoundedFile::Result::Failed:
        Fail("cannot read " + Native(file) + ": " + why);
        return false;
    }
    std::vector<std::unique_ptr<_Resource_Info>> parsed;
    std::string error;
    const bool whole = ParseCustomResources(reinterpret_cast<const uint8_t*>(image.constData()),
                                            static_cast<size_t>(image.size()), parsed, &error);
    entries->clear();
    for (std::unique_ptr<_Resource_Info>& entry : parsed)
        entries->push_back(std::move(*entry));
    damage->clear();
    if (!whole)
        *damage = Native(file) + " is damaged: " + error;
    return true;
}

int PlatconfTool::Pack(const QString& folder, const QString& file)
{
    PlatconfPacker packer;
    packer.SetExcludedFile(file);
    std::vector<_Resource_Info> entries;
    std::string error;
    if (!packer.Collect(folder, &entries, &error) || !PlatconfPacker::Write(file, entries, &error)) {
        Fail(error);
        return 1;
    }
    std::printf("packed %zu entries into %s\n", entries.size(), Native(file).c_str());
    return 0;
}

int PlatconfTool::List(const QString& file)
{
    std::vector<_Resource_Info> entries;
    std::string damage;
    if (!Load(file, &entries, &damage))
        return 1;

    struct Row
    {
        std::string name, size, value, rect;
    };
    std::vector<Row> rows;
    rows.push_back({"NAME", "SIZE", "VALUE", "RECT"});
    for (const _Resource_Info& e : entries) {
        rows.push_back({Printable(e.name), std::to_string(e.size), std::to_string(e.value),
                        std::to_string(e.left) + "," + std::to_string(e.top) + "," + std::to_string(e.right) +
                            "," + std::to_string(e.bottom)});
    }
    size_t nameWidth = 0, sizeWidth = 0, valueWidth = 0;
    for (const Row& r : rows) {
        nameWidth = std::max(nameWidth, Width(r.name));
        sizeWidth = std::max(sizeWidth, Width(r.size));
        valueWidth = std::max(valueWidth, Width(r.value));
    }
    for (const Row& r : rows) {
        const std::string line = PadRight(r.name, nameWidth) + "  " + PadLeft(r.size, sizeWidth) + "  " +
                                 PadLeft(r.value, valueWidth) + "  " + r.rect;
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    if (!damage.empty()) {
        Fail(damage);
        return 1;
    }
    return 0;
}

int PlatconfTool::Extract(const QString& file, const std::string& name)
{
    std::vector<_Resource_Info> entries;
    std::string damage;
    if (!Load(file, &entries, &damage))
        return 1;
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const _Resource_Info& e) { return e.name == name; });
    if (found == entries.end()) {
        if (!damage.empty())
            Fail("no entry '" + Printable(name) + "' before the damage; " + damage);
        else
            Fail("no entry '" + Printable(name) + "' in " + Native(file));
        return 1;
    }
    // The entry lies before any damage, so its bytes are whole; still say so.
    if (!damage.empty())
        Fail("warning: " + damage);
    if (!found->data.empty() &&
        std::fwrite(found->data.data(), 1, found->data.size(), stdout) != found->data.size()) {
        Fail("cannot write to standard output: " + std::string(std::strerror(errno)));
        return 1;
    }
    if (std::fflush(stdout) != 0) {
        Fail("cannot write to standard output: " + std::string(std::strerror(errno)));
        return 1;
    }
    return 0;
}
