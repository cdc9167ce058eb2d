#include "Report.h"

#include "Benchmarks.h"
#include "Latencies.h"

#include <QDateTime>

#include <cerrno>
#include <cstdio>
#include <cstring>

Report::Report() : root_(cJSON_CreateObject())
{
    cJSON_AddStringToObject(root_.get(), "format", "lumetra-bench 1");
    cJSON_AddStringToObject(root_.get(), "date",
                            QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8().constData());
    figures_ = cJSON_AddArrayToObject(root_.get(), "figures");
    samples_ = cJSON_AddObjectToObject(root_.get(), "samples");
}

void Report::SetMachine(const std::string& machine)
{
    cJSON_DeleteItemFromObject(root_.get(), "machine");
    cJSON_AddStringToObject(root_.get(), "machine", machine.c_str());
}

void Report::Add(const Figure& figure)
{
    cJSON* item = cJSON_CreateObject();
    cJSON_AddStringToObject(item, "benchmark", figure.benchmark.c_str());
    cJSON_AddStringToObject(item, "name", figure.name.c_str());
    cJSON_AddStringToObject(item, "unit", figure.unit.c_str());
    cJSON_AddNumberToObject(item, "value", figure.value);
    if (figure.baseline) {
        cJSON_AddNumberToObject(item, "baseline", *figure.baseline);
    }
    if (figure.peer) {
        cJSON_AddNumberToObject(item, "peer", *figure.peer);
    }
    if (!figure.goal.empty()) {
        cJSON_AddStringToObject(item, "goal", figure.goal.c_str());
        if (figure.met) {
            cJSON_AddBoolToObject(item, "met", *figure.met);
        }
        std::printf("  goal %s: %s\n", figure.goal.c_str(), figure.met ? Verdict(*figure.met) : "n/a");
    }
    cJSON_AddItemToArray(figures_, item);
}

void Report::NotMeasured(const std::string& benchmark, const std::string& name, const std::string& goal,
                         const std::string& reason)
{
    cJSON* item = cJSON_CreateObject();
    cJSON_AddStringToObject(item, "benchmark", benchmark.c_str());
    cJSON_AddStringToObject(item, "name", name.c_str());
    cJSON_AddNullToObject(item, "value");
    cJSON_AddStringToObject(item, "goal", goal.c_str());
    cJSON_AddStringToObject(item, "note", reason.c_str());
    cJSON_AddItemToArray(figures_, item);
    std::printf("  goal %s: n/a (%s)\n", goal.c_str(), reason.c_str());
}

void Report::AddSamples(const std::string& benchmark, const std::string& path, const Latencies& times)
{
    cJSON* group = cJSON_GetObjectItemCaseSensitive(samples_, benchmark.c_str());
    if (group == nullptr) {
        group = cJSON_AddObjectToObject(samples_, benchmark.c_str());
    }
    cJSON* list = cJSON_AddArrayToObject(group, path.c_str());
    for (const double ms : times.Samples()) {
        // Microsecond precision is all a loopback round trip needs and keeps the file small.
        cJSON_AddItemToArray(
            list, cJSON_CreateNumber(static_cast<double>(static_cast<long>(ms * 1000.0)) / 1000.0));
    }
}

bool Report::Write(const std::string& path, std::string* error) const
{
    const JsonText text(cJSON_Print(root_.get()));
    if (!text) {
        *error = "cannot print the report";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    const size_t length = std::strlen(text.get());
    const bool written = std::fwrite(text.get(), 1, length, file) == length && std::fputc('\n', file) != EOF;
    if (std::fclose(file) != 0 || !written) {
        *error = path + ": cannot write";
        return false;
    }
    return true;
}
