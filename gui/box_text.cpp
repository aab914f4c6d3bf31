#include "box_text.h"

#include "port_controller.h"

namespace gui {

const char kOtherCopyOpen[] = "Another copy of portsetup or portchange is already open.";

std::string ErrorBoxText(const std::exception& error) {
  if (const auto* step = dynamic_cast<const StepError*>(&error)) return step->heading() + "\n\n" + step->what();
  return std::string("The program failed.\n\n") + error.what();
}

std::string ErrorDetails(const std::exception& error) { return OutputOf(error); }

std::wstring CutToWidth(const std::wstring& text, int width, const std::function<int(const std::wstring&)>& measure) {
  std::wstring cut;
  size_t run = 0;  // where the run the next character joins began in `cut`
  for (const wchar_t character : text) {
    if (character == L' ' || character == L'\n') {
      run = cut.size() + 1;
    } else if (measure(cut.substr(run) + character) > width) {
      cut += L'\n';
      run = cut.size();
    }
    cut += character;
  }
  return cut;
}

}  // namespace gui
