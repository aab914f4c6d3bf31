#include "form_layout.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace gui {

namespace {

bool OnForm(const ControlLayout& control) { return std::strcmp(control.container, kFormName) == 0; }

// The window, or a control on the window: a picture box holds labels, not
// another picture box.
size_t ContainerOf(const FormLayout& layout, const ControlLayout& control) {
  if (OnForm(control)) return kOnForm;
  for (size_t index = 0; index < layout.controls.size(); ++index) {
    const ControlLayout& holder = layout.controls[index];
    if (std::strcmp(holder.name, control.container) == 0 && OnForm(holder)) return index;
  }
  throw std::logic_error(std::string("no container ") + control.container);
}

}  // namespace

std::vector<Creation> CreationOrder(const FormLayout& layout) {
  std::vector<Creation> order;
  for (size_t index = 0; index < layout.controls.size(); ++index)
    order.push_back({index, ContainerOf(layout, layout.controls[index])});
  // The window's own controls first, so that a picture box is there for its labels.
  std::stable_sort(order.begin(), order.end(), [&layout](const Creation& a, const Creation& b) {
    const bool aHeld = a.container != kOnForm, bHeld = b.container != kOnForm;
    if (aHeld != bHeld) return bHeld;
    return layout.controls[a.control].tabIndex < layout.controls[b.control].tabIndex;
  });
  return order;
}

PixelArea CentredOn(const PixelArea& work, int width, int height) {
  return {std::max(work.left, work.left + (work.width - width) / 2),
          std::max(work.top, work.top + (work.height - height) / 2), width, height};
}

}  // namespace gui
