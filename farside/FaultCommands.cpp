#include "FaultCommands.h"

#include "FarsideLog.h"
#include "FaultBoard.h"

#include <sstream>
#include <vector>

namespace {

// A decimal number 0..max, or -1.
long Number(const std::string& text, long max)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const long value = std::stol(text);
    return value <= max ? value : -1;
}

} // namespace

std::string FaultCommands::Summary()
{
    return "  drop GW DEV              end the device's relay and port-transfer connections now\n"
           "  drop-after GW DEV BYTES  end them once they received BYTES more from the PC (0: never)\n"
           "  silent GW DEV on|off     send no message about the device to the PCs (data aside)\n"
           "  delay GW DEV MS          send each such message MS later (0: at once)\n"
           "  data-delay GW DEV MS     hold the device's answer bytes MS before they go to the PC\n"
           "  occupied GW DEV on|off   answer bind and relay registrations \"occupied\"\n"
           "  restart MS               close the relay and port-transfer servers and their\n"
           "                           connections; listen again on the same ports MS later\n";
}

std::string FaultCommands::Execute(const std::string& line)
{
    const std::string answer = Run(line);
    FarsideLog::Line("control: " + line + ": " + answer);
    return answer;
}

std::string FaultCommands::Run(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    if (words.empty())
        return "error: empty command";
    const std::string& command = words[0];
    if (command == "restart") {
        const long pause = words.size() == 2 ? Number(words[1], kMaxPauseMs) : -1;
        if (pause < 0)
            return "error: usage: restart MS (0.." + std::to_string(kMaxPauseMs) + ")";
        std::string error;
        return restart_(static_cast<int>(pause), &error) ? "ok" : "error: " + error;
    }
    const bool withValue = command != "drop";
    if (command != "drop" && command != "drop-after" && command != "silent" && command != "delay" &&
        command != "data-delay" && command != "occupied")
        return "error: unknown command \"" + command + "\"";
    if (words.size() != (withValue ? 4u : 3u))
        return "error: usage: " + command + " GW DEV" + (withValue ? " VALUE" : "");
    const std::string &gwSn = words[1], &devSn = words[2];
    if (command == "drop") {
        bool known = board_.Change(gwSn, devSn, [](FaultBoard::Switches&) {});
        if (!known)
            return "error: no device " + gwSn + "/" + devSn;
        return board_.Drop(gwSn, devSn) > 0 ? "ok" : "error: no tunnel connection of " + gwSn + "/" + devSn;
    }
    const std::string& value = words[3];
    bool valid = true;
    std::function<void(FaultBoard::Switches&)> change;
    if (command == "silent" || command == "occupied") {
        valid = value == "on" || value == "off";
        const bool on = value == "on";
        if (command == "silent")
            change = [on](FaultBoard::Switches& s) { s.silent = on; };
        else
            change = [on](FaultBoard::Switches& s) { s.occupied = on; };
    } else if (command == "delay") {
        const long ms = Number(value, kMaxPauseMs);
        valid = ms >= 0;
        change = [ms](FaultBoard::Switches& s) { s.answerDelayMs = static_cast<int>(ms); };
    } else if (command == "data-delay") {
        const long ms = Number(value, kMaxDataDelayMs);
        valid = ms >= 0;
        change = [ms](FaultBoard::Switches& s) { s.dataDelayMs = static_cast<int>(ms); };
    } else {
        const long bytes = Number(value, 2000000000L);
        valid = bytes >= 0;
        change = [bytes](FaultBoard::Switches& s) { s.dropAfterBytes = bytes; };
    }
    if (!valid)
        return "error: bad value \"" + value + "\" for " + command;
    return board_.Change(gwSn, devSn, change, command == "drop-after")
               ? "ok"
               : "error: no device " + gwSn + "/" + devSn;
}
