#include <gtest/gtest.h>

#include "nrutil.h"

namespace {

// Every cell of a fresh matrix reads zero; every row holds NbCol elements of
// the element type (every cell is written: the sanitizer build stops at a
// row shorter than that).
template <class T>
void expect_fresh_matrix(T** (*allocate)(int, int), void (*release)(T**, int)) {
  const int nb_col = 7, nb_lig = 5;
  T** mat = allocate(nb_col, nb_lig);
  ASSERT_NE(mat, nullptr);
  for (int i = 0; i < nb_lig; ++i) {
    ASSERT_NE(mat[i], nullptr);
    for (int j = 0; j < nb_col; ++j) EXPECT_EQ(mat[i][j], T(0)) << "cell " << i << "," << j;
    for (int j = 0; j < nb_col; ++j) mat[i][j] = T(i * nb_col + j);
  }
  // Every cell keeps its own value: rows are separate and do not overlap.
  for (int i = 0; i < nb_lig; ++i) {
    for (int j = 0; j < nb_col; ++j) EXPECT_EQ(mat[i][j], T(i * nb_col + j));
  }
  release(mat, nb_lig);
}

template <class T>
void expect_refused_counts(T** (*allocate)(int, int)) {
  for (auto [cols, lines] : {std::pair{0, 3}, {3, 0}, {-1, 3}, {3, -5}, {0, 0}}) {
    EXPECT_EQ(allocate(cols, lines), nullptr) << cols << " x " << lines;
  }
}

template <class T>
void expect_fresh_vector(T* (*allocate)(int), void (*release)(T*)) {
  T* vec = allocate(9);
  ASSERT_NE(vec, nullptr);
  for (int j = 0; j < 9; ++j) EXPECT_EQ(vec[j], T(0));
  EXPECT_EQ(allocate(0), nullptr);
  EXPECT_EQ(allocate(-4), nullptr);
  release(vec);
}

}  // namespace

TEST(ArrayLibrary, FreshMatricesOfEveryTypeReadZero) {
  expect_fresh_matrix(ucmatrice, frucmatrice);
  expect_fresh_matrix(usmatrice, frusmatrice);
  expect_fresh_matrix(smatrice, frsmatrice);
  expect_fresh_matrix(imatrice, frimatrice);
  expect_fresh_matrix(fmatrice, frfmatrice);
  expect_fresh_matrix(dmatrice, frdmatrice);
  expect_fresh_matrix(ldmatrice, frldmatrice);
}

TEST(ArrayLibrary, ZeroOrNegativeCountsGiveNull) {
  expect_refused_counts(ucmatrice);
  expect_refused_counts(usmatrice);
  expect_refused_counts(smatrice);
  expect_refused_counts(imatrice);
  expect_refused_counts(fmatrice);
  expect_refused_counts(dmatrice);
  expect_refused_counts(ldmatrice);
}

TEST(ArrayLibrary, FreshVectorsOfEveryTypeReadZero) {
  expect_fresh_vector(ucvecteur, frucvecteur);
  expect_fresh_vector(usvecteur, frusvecteur);
  expect_fresh_vector(svecteur, frsvecteur);
  expect_fresh_vector(ivecteur, frivecteur);
  expect_fresh_vector(dvecteur, frdvecteur);
  expect_fresh_vector(fvecteur, frfvecteur);
}

TEST(ArrayLibrary, ImpossibleSizeGivesNullWithoutLeaking) {
  // Each row would need 2^31 x 16 bytes: the first row already fails, and the
  // table is given back (the sanitizer build would report a leak).
  EXPECT_EQ(ldmatrice(2147483647, 3), nullptr);
}

TEST(ArrayLibrary, LargeMatricesAreZeroFilledAndReleased) {
  const int nb_col = 3000, nb_lig = 2000;
  double** mat = dmatrice(nb_col, nb_lig);
  ASSERT_NE(mat, nullptr);
  for (int i = 0; i < nb_lig; i += 199) {
    for (int j = 0; j < nb_col; j += 7) EXPECT_EQ(mat[i][j], 0.0);
  }
  for (int i = 0; i < nb_lig; ++i) mat[i][nb_col - 1] = i;  // rows do not overlap
  for (int i = 0; i < nb_lig; ++i) ASSERT_EQ(mat[i][nb_col - 1], i);
  EXPECT_EQ(mat[1][0], 0.0);
  frdmatrice(mat, nb_lig);
}
