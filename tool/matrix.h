// Owning handles on the array library's matrices and vectors.
//
// They keep the release function that matches the allocator (and a matrix's
// line count), so memory is given back exactly once, also when a fatal stop
// unwinds the run.
#pragma once

#include <climits>
#include <cstddef>
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

// A vector of the array library, and its length.
template <class T>
class Vector {
 public:
  using Release = void (*)(T*);

  Vector() = default;
  Vector(T* data, std::size_t size, Release release) : data_(data), size_(size), release_(release) {}
  Vector(Vector&& other) noexcept { *this = std::move(other); }
  Vector& operator=(Vector&& other) noexcept {
    if (this != &other) {
      if (data_ != nullptr) release_(data_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      release_ = other.release_;
    }
    return *this;
  }
  Vector(const Vector&) = delete;
  Vector& operator=(const Vector&) = delete;
  ~Vector() {
    if (data_ != nullptr) release_(data_);
  }

  T* data() const { return data_; }
  std::size_t size() const { return size_; }
  T& operator[](std::size_t k) const { return data_[k]; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
  Release release_ = nullptr;
};

// Allocates through one of the array library's vector allocators; a length
// beyond its counts or running out of memory is a fatal stop naming `what`.
template <class T>
Vector<T> new_vector(T* (*allocate)(int), typename Vector<T>::Release release, std::size_t size, const char* what) {
  T* data = size <= static_cast<std::size_t>(INT_MAX) ? allocate(static_cast<int>(size)) : nullptr;
  if (data == nullptr) fatal_stop("\n\n\tNot enough memory for the " + std::string(what) + "\n");
  return Vector<T>(data, size, release);
}
