#include "classes.h"

namespace platform {

TComponent::TComponent(TComponent* owner) : owner_(owner) {}

TComponent::~TComponent() { DestroyComponents(); }

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    components_.pop_back();
    delete last;
  }
}

}  // namespace platform
