// Components with owners: a component created with an owner is released
// when the owner is, in reverse order of creation. A component released on
// its own first leaves its owner's list, so nothing is released twice.
#pragma once

#include <string>
#include <vector>

class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index); }

  std::string Name;

 protected:
  // Releases every owned component now. A class whose owned components
  // refer back to it (a form and its controls) calls this in its own
  // destructor, while it is still whole.
  void DestroyComponents();

 private:
  TComponent* owner_;
  std::vector<TComponent*> components_;  // owned, in creation order
};
