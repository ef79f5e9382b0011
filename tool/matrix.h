// An owning handle on a row-pointer matrix of the array library.
//
// It keeps the line count and the release function that matches the allocator,
// so a matrix is given back exactly once, also when a fatal stop unwinds the run.
#pragma once

#include <string>
#include <utility>

#include "fatal.h"

template <class T>
class Matrix {
 public:
  using Release = void (*)(T**, int);

  Matrix() = default;
  Matrix(T** rows, int nb_lig, Release release) : rows_(rows), nb_lig_(nb_lig), release_(release) {}
  Matrix(Matrix&& other) noexcept { *this = std::move(other); }
  Matrix& operator=(Matrix&& other) noexcept {
    if (this != &other) {
      reset();
      rows_ = std::exchange(other.rows_, nullptr);
      nb_lig_ = std::exchange(other.nb_lig_, 0);
      release_ = other.release_;
    }
    return *this;
  }
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;
  ~Matrix() { reset(); }

  void reset() {
    if (rows_ != nullptr) release_(rows_, nb_lig_);
    rows_ = nullptr;
    nb_lig_ = 0;
  }

  T* operator[](int i) const { return rows_[i]; }
  T** get() const { return rows_; }
  explicit operator bool() const { return rows_ != nullptr; }

 private:
  T** rows_ = nullptr;
  int nb_lig_ = 0;
  Release release_ = nullptr;
};

// Allocates through one of the array library's allocators; running out of
// memory is a fatal stop that says which matrix could not be made.
template <class T>
Matrix<T> new_matrix(T** (*allocate)(int, int), typename Matrix<T>::Release release, int nb_col,
                     int nb_lig, const char* what) {
  T** rows = allocate(nb_col, nb_lig);
  if (rows == nullptr) {
    fatal_stop("\n\n\tNot enough memory for the " + std::string(what) + " (" + std::to_string(nb_lig) +
               " lines x " + std::to_string(nb_col) + " columns)\n");
  }
  return Matrix<T>(rows, nb_lig, release);
}
