#pragma once

#include <string>

class ServiceContext;

// The binder service on "/sys/varnex_binder/sub": flat requests with "cmd_id".
//   2983 bind          -> 2984 "is_bind" 0 (bound to the asking PC) or 1 (occupied)
//   3000 link settings -> 3001 "st" 2 with "flag" 1 (registered) or 0 (refused)
//   3002 link release, 2978 PC leaves: no answer
class BinderService
{
public:
    explicit BinderService(ServiceContext& context) : context_(context) {}

    void Handle(const std::string& payload);

private:
    ServiceContext& context_;
};
