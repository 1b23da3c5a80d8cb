// The component tree: every component has a name and an owner, and an
// owner destroys what it owns.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  ~TComponent() override;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TComponent* Owner() const { return owner_; }

  // Owned components, in creation order.
  const std::vector<TComponent*>& Components() const { return components_; }
  // Takes ownership.
  template <class T>
  T* Adopt(std::unique_ptr<T> c) {
    T* raw = c.release();
    components_.push_back(raw);
    return raw;
  }
  // Destroys every owned component, last created first.
  void DestroyComponents();

 private:
  TComponent* owner_;
  std::string name_;
  std::vector<TComponent*> components_;
};

}  // namespace platform
