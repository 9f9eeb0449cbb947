#include "app/form/form1_layout.h"

#include <utility>

namespace vlt {

namespace {

constexpr std::array<std::pair<Box, std::string_view>, 5> kBoxNames{{
    {Box::Key, "Text3"},
    {Box::EncryptInput, "Text1"},
    {Box::EncryptOutput, "Text2"},
    {Box::DecryptInput, "Text6"},
    {Box::DecryptOutput, "Text5"},
}};

}  // namespace

const ControlPlace* FindControl(std::string_view name) {
    for (const ControlPlace& place : kForm1Controls) {
        if (place.name == name) {
            return &place;
        }
    }
    return nullptr;
}

std::string_view ControlName(Box box) {
    for (const auto& [each, name] : kBoxNames) {
        if (each == box) {
            return name;
        }
    }
    return {};
}

std::optional<Box> BoxNamed(std::string_view name) {
    for (const auto& [box, each] : kBoxNames) {
        if (each == name) {
            return box;
        }
    }
    return std::nullopt;
}

}  // namespace vlt
