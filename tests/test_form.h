// The form both window systems' tests drive: a field to type in, a
// read-only one, a button that doubles the first and tries to change the
// second, and a check that refuses "bad", noting every text it was asked.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

inline platform::FormRequest TestForm(std::vector<std::string>& checked) {
    platform::FormRequest form;
    form.title = "Form test";
    form.fields = {{"First", "1", false}, {"Fixed", "r", true}};
    form.buttons = {{"Double", [](std::vector<std::string>& t) {
                         t[0] += t[0];
                         t[1] = "changed";
                         return std::string();
                     }}};
    form.check = [&checked](const std::vector<std::string>& t) {
        checked.push_back(t[0]);
        return t[0] == "bad" ? std::string("no good") : std::string();
    };
    return form;
}
