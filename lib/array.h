#pragma once
// A growable array whose out-of-range access is a fatal internal error
// instead of undefined behaviour.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/fatal.h"

namespace ks {
namespace detail {

// The element type's name as the compiler spells it, for the bounds message.
template <class T>
std::string_view TypeName() {
#if defined(__clang__) || defined(__GNUC__)
  std::string_view f = __PRETTY_FUNCTION__;  // "... [with T = int; ...]" or "... [T = int]"
  const size_t start = f.find("T = ");
  if (start == std::string_view::npos) return "?";
  f.remove_prefix(start + 4);
  const size_t end = f.find_first_of(";]");
  return f.substr(0, end);
#else
  return "?";
#endif
}

}  // namespace detail

template <class T>
class Array {
 public:
  using value_type = T;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  Array() = default;
  Array(std::initializer_list<T> items) : items_(items) {}
  explicit Array(std::vector<T> items) : items_(std::move(items)) {}

  T& operator[](size_t index) { return items_[Checked(index)]; }
  const T& operator[](size_t index) const { return items_[Checked(index)]; }
  T& back() { return (*this)[size() - 1]; }
  const T& back() const { return (*this)[size() - 1]; }

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  void clear() { items_.clear(); }
  void reserve(size_t n) { items_.reserve(n); }
  void resize(size_t n) { items_.resize(n); }

  void push_back(const T& item) { items_.push_back(item); }
  void push_back(T&& item) { items_.push_back(std::move(item)); }
  template <class... Args>
  T& emplace_back(Args&&... args) {
    return items_.emplace_back(std::forward<Args>(args)...);
  }
  void pop_back() {
    Checked(size() - 1);
    items_.pop_back();
  }
  void erase_at(size_t index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(Checked(index))); }

  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

  const std::vector<T>& vector() const { return items_; }

  friend bool operator==(const Array& a, const Array& b) { return a.items_ == b.items_; }
  friend bool operator!=(const Array& a, const Array& b) { return !(a == b); }

 private:
  size_t Checked(size_t index) const {
    if (index >= items_.size()) {
      // Signed so that an index computed as -1 reads as -1, as does the
      // max_index of an empty array.
      RaiseBoundsError(detail::TypeName<T>(), static_cast<std::int64_t>(index),
                       static_cast<std::int64_t>(items_.size()) - 1);
    }
    return index;
  }

  std::vector<T> items_;
};

}  // namespace ks
