#pragma once
// The page the window shows while no product is: what the program looks
// for, the products it found but may not open with the fix, and how to try
// the program on virtual products.
#include <vector>

#include "devices/AccessRefusal.h"
#include "devices/Products.h"
#include "ui/Control.h"

namespace m470 {

void ShowNoDevicePage(ui::ControlHost& host, const std::vector<ProductRow>& products,
                      const std::vector<RefusedNode>& refused, const Translator& translate);
// While other products are shown, the refused ones are told in the window's
// banner instead: a product the user may not open must not just be missing.
void ShowRefusalBanner(ui::ControlHost& host, const std::vector<RefusedNode>& refused, bool pageShown);

}  // namespace m470
