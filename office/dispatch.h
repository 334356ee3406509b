#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "office/error.h"

namespace office {

// Late binding for the few places where the automation model is used by name: the
// "Application" property of an embedded chart object and "Paste" on a data sheet cell.
// Every object of the model derives from it, so an embedded object of unknown kind can be
// handed around and taken as the kind the caller expects with As<T>.
class Dispatch {
public:
    virtual ~Dispatch() = default;

    // The object model's name of the object's kind ("Workbook", "ChartObject", ...).
    virtual std::string_view TypeName() const = 0;
    // A property read by name. Fails with NoSuchMember where the object has none.
    virtual std::shared_ptr<Dispatch> GetProperty(std::string_view name);
    // A method without arguments called by name. Fails with NoSuchMember where the object has
    // none.
    virtual void CallMethod(std::string_view name);
};

// Takes an object as the kind T. Fails with ObjectRequired for none and with TypeMismatch
// for an object of another kind.
template <class T>
std::shared_ptr<T> As(const std::shared_ptr<Dispatch>& object) {
    if (!object) {
        throw Error(ErrorCode::ObjectRequired, "object variable not set");
    }
    auto typed = std::dynamic_pointer_cast<T>(object);
    if (!typed) {
        throw Error(ErrorCode::TypeMismatch, "type mismatch: a " + std::string(object->TypeName()) +
                                                 " is not a " + std::string(T::kTypeName));
    }
    return typed;
}

}  // namespace office
