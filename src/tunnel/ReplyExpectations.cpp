#include "tunnel/ReplyExpectations.h"

#include "app/InputRules.h"
#include "mqtt-c/mqtt_commands.h"

bool ReplyExpectations::Take(Reply reply, const std::string& tunnel)
{
    if (IsExpected(reply)) {
        expected_ &= ~static_cast<unsigned>(reply);
        return true;
    }
    InputRules::ReportDropped("cmdId " + std::to_string(CommandCode(reply)) + " for " + tunnel,
                              "no request of this tunnel waits for it");
    return false;
}

int ReplyExpectations::CommandCode(Reply reply)
{
    switch (reply) {
    case kBindAnswer:
        return kCmdBindAnswer;
    case kParameterRequest:
        return kCmdParameterRequest;
    case kRegistrationResult:
        return kCmdRegistrationResult;
    case kResult:
        return kCmdResult;
    case kFarEndClosed:
        return kCmdFarEndClosed;
    }
    return 0;
}
