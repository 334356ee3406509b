#include "office/dispatch.h"

#include <string>

namespace office {

std::shared_ptr<Dispatch> Dispatch::GetProperty(std::string_view name) {
    throw Error(ErrorCode::NoSuchMember,
                "a " + std::string(TypeName()) + " has no property \"" + std::string(name) + "\"");
}

void Dispatch::CallMethod(std::string_view name) {
    throw Error(ErrorCode::NoSuchMember,
                "a " + std::string(TypeName()) + " has no method \"" + std::string(name) + "\"");
}

}  // namespace office
