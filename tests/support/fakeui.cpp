#include "tests/support/fakeui.h"

namespace wp::test {

Answer FakeUI::messageBox(BoxKind kind, const std::string& text, Buttons buttons) {
    boxes.push_back({kind, text, buttons});
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (buttons == Buttons::Yes) return Answer::Yes;
    if (answers.empty()) return Answer::No;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

std::vector<std::string> FakeUI::boxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : boxes) out.push_back(b.text);
    return out;
}

}  // namespace wp::test
