#include "CliCommand.h"

CliCommand::~CliCommand() = default;
