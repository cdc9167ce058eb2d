#pragma once

#include <functional>
#include <string>

class FaultBoard;

// The commands of the control channel, one line each, words separated by spaces:
//   drop GW DEV               end the device's relay and port-transfer connections now
//   drop-after GW DEV BYTES   end each of them once the far side received BYTES more
//                             from the PC on it (0: never)
//   silent GW DEV on|off      send no message about the device to the PCs (data aside)
//   delay GW DEV MS           send each such message MS later (0: at once)
//   data-delay GW DEV MS      hold each piece of the device's answer bytes MS (at most
//                             kMaxDataDelayMs) before it goes to the PC (0: at once)
//   occupied GW DEV on|off    answer bind and relay registrations "occupied"
//   restart MS                close the relay and port-transfer servers (listeners and
//                             every connection), listen again on the same ports MS later
// Each answers "ok" once done, or "error: <reason>". Every command is logged.
class FaultCommands
{
public:
    static constexpr int kMaxPauseMs = 600000;
    // The data delay holds a device's service thread: short enough not to stall it.
    static constexpr int kMaxDataDelayMs = 10000;
    // Stops the relay and port-transfer servers, waits `pauseMs`, listens again.
    using Restart = std::function<bool(int pauseMs, std::string* error)>;

    FaultCommands(FaultBoard& board, Restart restart) : board_(board), restart_(std::move(restart)) {}

    std::string Execute(const std::string& line);
    // The command list above, for --help.
    static std::string Summary();

private:
    std::string Run(const std::string& line);

    FaultBoard& board_;
    Restart restart_;
};
