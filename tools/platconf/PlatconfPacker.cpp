#include "PlatconfPacker.h"

#include "PlatconfManifest.h"
#include "app/CustomResourceTable.h"
#include "platform/BoundedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace {

std::string Native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// A file larger than a whole custom resource file may be cannot become an entry of
// one; it is refused before it is read.
bool ReadWhole(const QString& path, QByteArray* out, std::string* error)
{
    std::string why;
    if (platform::BoundedFile::Read(path, kCustomResourceFileLimit, out, &why) !=
        platform::BoundedFile::Result::Read) {
        *error = "cannot read " + Native(path) + ": " + why;
        return false;
    }
    return true;
}

} // namespace

bool PlatconfPacker::IsImageName(const QString& fileName)
{
    return fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

std::vector<uint8_t> PlatconfPacker::TextEntryData(const QByteArray& content)
{
    qsizetype length = content.size();
    if (content.endsWith("\r\n"))
        length -= 2;
    else if (content.endsWith('\n'))
        length -= 1;
    std::vector<uint8_t> data(content.constData(), content.constData() + length);
    data.push_back(0);
    return data;
}

bool PlatconfPacker::Collect(const QString& folder, std::vector<_Resource_Info>* entries, std::string* error)
{
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists()) {
        *error = "folder " + Native(folder) + " does not exist";
        return false;
    }
    if (!folderInfo.isDir()) {
        *error = Native(folder) + " is not a folder";
        return false;
    }
    QDir dir(folder);
    if (!dir.isReadable()) {
        *error = "folder " + Native(folder) + " cannot be read";
        return false;
    }

    // Names in byte order of their file-system form: independent of the locale.
    const QFileInfoList listed = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    std::vector<QFileInfo> files;
    bool haveManifest = false;
    const QString excluded = excluded_.isEmpty() ? QString() : QFileInfo(excluded_).absoluteFilePath();
    for (const QFileInfo& info : listed) {
        const QString name = info.fileName();
        if (name == QLatin1String(PlatconfManifest::kFileName)) {
            haveManifest = true;
            continue;
        }
        if (name.startsWith(QLatin1Char('.')))
            continue;
        if (!excluded.isEmpty() && info.absoluteFilePath() == excluded)
            continue;
        files.push_back(info);
    }
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return QFile::encodeName(a.fileName()) < QFile::encodeName(b.fileName());
    });

    PlatconfManifest manifest;
    if (haveManifest) {
        const QString manifestPath = dir.filePath(QLatin1String(PlatconfManifest::kFileName));
        QByteArray text;
        if (!ReadWhole(manifestPath, &text, error))
            return false;
        std::string why;
        if (!manifest.Parse(text.toStdString(), &why)) {
            *error = Native(manifestPath) + ": " + why;
            return false;
        }
        for (const PlatconfManifest::Line& line : manifest.Lines()) {
            const bool present = std::any_of(files.begin(), files.end(), [&](const QFileInfo& f) {
                return QFile::encodeName(f.fileName()).toStdString() == line.name;
            });
            if (!present) {
                *error = Native(manifestPath) + ": line " + std::to_string(line.lineNumber) + ": no file '" +
                         line.name + "' in the folder";
                return false;
            }
        }
    }

    entries->clear();
    for (const QFileInfo& info : files) {
        QByteArray content;
        if (!ReadWhole(info.filePath(), &content, error))
            return false;
        _Resource_Info entry;
        entry.name = QFile::encodeName(info.fileName()).toStdString();
        if (IsImageName(info.fileName()))
            entry.data.assign(content.constData(), content.constData() + content.size());
        else
            entry.data = TextEntryData(content);
        entry.size = static_cast<int64_t>(entry.data.size());
        if (const PlatconfManifest::Line* line = manifest.Find(entry.name)) {
            if (line->hasValue)
                entry.value = line->value;
            if (line->hasRect) {
                entry.left = line->left;
                entry.top = line->top;
                entry.right = line->right;
                entry.bottom = line->bottom;
            }
        }
        entries->push_back(std::move(entry));
    }
    return true;
}

bool PlatconfPacker::Write(const QString& file, const std::vector<_Resource_Info>& entries,
                           std::string* error)
{
    // The client reads no custom resource file beyond the limit: never write one.
    uint64_t total = 0;
    for (const _Resource_Info& entry : entries)
        total += 36 + entry.name.size() + entry.data.size();
    if (total > kCustomResourceFileLimit) {
        *error = "the packed file would hold " + std::to_string(total) + " bytes, more than the " +
                 std::to_string(kCustomResourceFileLimit) + " a custom resource file may have";
        return false;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = "cannot write " + Native(file) + ": " + out.errorString().toStdString();
        return false;
    }
    for (const _Resource_Info& entry : entries) {
        const std::vector<uint8_t> bytes = SerializeResourceEntry(entry);
        const qint64 size = static_cast<qint64>(bytes.size());
        if (out.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
            *error = "cannot write " + Native(file) + ": " + out.errorString().toStdString();
            out.cancelWriting();
            return false;
        }
    }
    if (!out.commit()) {
        *error = "cannot write " + Native(file) + ": " + out.errorString().toStdString();
        return false;
    }
    return true;
}
