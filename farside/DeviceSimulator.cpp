#include "DeviceSimulator.h"

#include <algorithm>

#include <cjson/cJSON.h>

#include "EchoDevice.h"
#include "ModbusRtuSlave.h"

void DeviceSimulator::SetOutput(std::function<void(const std::string&)> out)
{
    std::lock_guard<std::mutex> lock(outputMutex_);
    output_ = std::move(out);
}

void DeviceSimulator::Emit(const std::string& bytes)
{
    // Held while the output runs, so that SetOutput can promise the old output has
    // finished once it returns.
    std::lock_guard<std::mutex> lock(outputMutex_);
    if (output_ && !bytes.empty())
        output_(bytes);
}

namespace {

bool ReadTable(const cJSON* simulation, const char* name, int maxValue, std::vector<int>* out,
               std::string* error)
{
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(simulation, name);
    if (!item)
        return true;
    if (!cJSON_IsArray(item)) {
        *error = std::string("simulation.") + name + " is not an array";
        return false;
    }
    if (cJSON_GetArraySize(item) > 10000) {
        *error = std::string("simulation.") + name + " has more than 10000 entries";
        return false;
    }
    out->clear();
    int index = 0;
    for (const cJSON* value = item->child; value; value = value->next, ++index) {
        double number = -1;
        if (cJSON_IsBool(value))
            number = cJSON_IsTrue(value) ? 1 : 0;
        else if (cJSON_IsNumber(value))
            number = value->valuedouble;
        if (number < 0 || number > maxValue || number != static_cast<int>(number)) {
            *error = std::string("simulation.") + name + "[" + std::to_string(index) +
                     "] is not an integer from 0 to " + std::to_string(maxValue);
            return false;
        }
        out->push_back(static_cast<int>(number));
    }
    return true;
}

} // namespace

bool DeviceSimulation::Parse(const cJSON* deviceJson, const std::string& defaultKind,
                             const std::vector<std::string>& kinds, DeviceSimulation* out, std::string* error)
{
    *out = DeviceSimulation();
    out->kind = defaultKind;
    for (int i = 0; i < 10; ++i) {
        out->holdingRegisters.push_back(1001 + i);
        out->inputRegisters.push_back(1001 + i);
    }
    for (int i = 0; i < 8; ++i) {
        out->coils.push_back(i % 2 == 0 ? 1 : 0);
        out->discreteInputs.push_back(i % 2 == 0 ? 1 : 0);
    }

    const cJSON* simulation = cJSON_GetObjectItemCaseSensitive(deviceJson, "simulation");
    if (!simulation)
        return true;
    if (!cJSON_IsObject(simulation)) {
        *error = "simulation is not an object";
        return false;
    }
    const cJSON* kind = cJSON_GetObjectItemCaseSensitive(simulation, "kind");
    if (kind) {
        if (!cJSON_IsString(kind) ||
            std::find(kinds.begin(), kinds.end(), kind->valuestring) == kinds.end()) {
            std::string names;
            for (const std::string& name : kinds)
                names += (names.empty() ? "\"" : ", \"") + name + "\"";
            *error = "simulation.kind is not one of " + names;
            return false;
        }
        out->kind = kind->valuestring;
    }
    const cJSON* slaveId = cJSON_GetObjectItemCaseSensitive(simulation, "slaveId");
    if (slaveId) {
        if (!cJSON_IsNumber(slaveId) || slaveId->valuedouble < 1 || slaveId->valuedouble > 247 ||
            slaveId->valuedouble != slaveId->valueint) {
            *error = "simulation.slaveId is not an integer from 1 to 247";
            return false;
        }
        out->slaveId = slaveId->valueint;
    }
    return ReadTable(simulation, "holdingRegisters", 65535, &out->holdingRegisters, error) &&
           ReadTable(simulation, "inputRegisters", 65535, &out->inputRegisters, error) &&
           ReadTable(simulation, "coils", 1, &out->coils, error) &&
           ReadTable(simulation, "discreteInputs", 1, &out->discreteInputs, error);
}

std::unique_ptr<DeviceSimulator> MakeSerialDevice(const cJSON* deviceJson, std::string* error)
{
    DeviceSimulation simulation;
    if (!DeviceSimulation::Parse(deviceJson, "modbus-rtu", {"modbus-rtu", "echo"}, &simulation, error))
        return nullptr;
    if (simulation.kind == "echo")
        return std::make_unique<EchoDevice>();

    auto setting = [deviceJson](const char* name, int fallback) {
        const cJSON* item = cJSON_GetObjectItemCaseSensitive(deviceJson, name);
        return cJSON_IsNumber(item) && item->valueint > 0 ? item->valueint : fallback;
    };
    ModbusRtuSlave::LineSettings line;
    line.baud = setting("baud", 9600);
    line.dataBits = setting("databit", 8);
    line.stopBits = setting("stopbit", 1);
    const cJSON* parity = cJSON_GetObjectItemCaseSensitive(deviceJson, "parity");
    const int parityValue = cJSON_IsNumber(parity) ? parity->valueint : 0;
    line.parity = parityValue == 0 ? 'N' : parityValue == 1 ? 'O' : 'E';
    return ModbusRtuSlave::Start(simulation, line, error);
}

DeviceSimulation::MappingPtr DeviceSimulation::NewMapping() const
{
    MappingPtr mapping(modbus_mapping_new(
        static_cast<int>(coils.size()), static_cast<int>(discreteInputs.size()),
        static_cast<int>(holdingRegisters.size()), static_cast<int>(inputRegisters.size())));
    if (!mapping)
        return nullptr;
    std::copy(coils.begin(), coils.end(), mapping->tab_bits);
    std::copy(discreteInputs.begin(), discreteInputs.end(), mapping->tab_input_bits);
    std::copy(holdingRegisters.begin(), holdingRegisters.end(), mapping->tab_registers);
    std::copy(inputRegisters.begin(), inputRegisters.end(), mapping->tab_input_registers);
    return mapping;
}
