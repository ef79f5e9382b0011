#include "nrutil.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__unix__)
#include <sys/mman.h>
#define NRUTIL_BLOCKS 1
#endif

// A matrix is handed out as its row table; the slot just before the table
// holds the address of the block its rows were carved from, or null when each
// row is a block of its own.
//
// Small matrices get one zero-filled block per row. A large matrix gets all
// its rows from one block of fresh zero pages from the system, asked to be
// backed by huge pages: the pages cost nothing until written, and writing them
// costs far fewer page faults.

namespace {

#if NRUTIL_BLOCKS
constexpr std::size_t kBlockThreshold = std::size_t{32} << 20;
constexpr std::size_t kBlockHeader = 64;  // the block's length, then the rows

void* obtain_block(std::size_t row_bytes, int nb_lig) {
  if (row_bytes > (SIZE_MAX - kBlockHeader) / static_cast<std::size_t>(nb_lig)) return nullptr;
  const std::size_t length = kBlockHeader + row_bytes * static_cast<std::size_t>(nb_lig);
  void* block = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(block, length, MADV_HUGEPAGE);
#endif
  *static_cast<std::size_t*>(block) = length;
  return block;
}

void release_block(void* block) { munmap(block, *static_cast<std::size_t*>(block)); }
#endif

template <class T>
void release_matrix(T** mat, int nb_lig) {
  if (mat == nullptr) return;
  T** table = mat - 1;
  void* block = table[0];
#if NRUTIL_BLOCKS
  if (block != nullptr) release_block(block);
#endif
  for (int i = 0; block == nullptr && i < nb_lig; ++i) std::free(mat[i]);
  std::free(table);
}

template <class T>
T** allocate_matrix(int nb_col, int nb_lig) {
  if (nb_col <= 0 || nb_lig <= 0) return nullptr;
  auto** table = static_cast<T**>(std::calloc(static_cast<std::size_t>(nb_lig) + 1, sizeof(T*)));
  if (table == nullptr) return nullptr;
  T** mat = table + 1;
  const std::size_t row_bytes = static_cast<std::size_t>(nb_col) * sizeof(T);
#if NRUTIL_BLOCKS
  if (row_bytes >= kBlockThreshold / static_cast<std::size_t>(nb_lig)) {
    void* block = obtain_block(row_bytes, nb_lig);
    if (block == nullptr) {
      std::free(table);
      return nullptr;
    }
    table[0] = static_cast<T*>(block);
    auto* rows = static_cast<unsigned char*>(block) + kBlockHeader;
    for (int i = 0; i < nb_lig; ++i) mat[i] = reinterpret_cast<T*>(rows + row_bytes * static_cast<std::size_t>(i));
    return mat;
  }
#endif
  for (int i = 0; i < nb_lig; ++i) {
    mat[i] = static_cast<T*>(std::calloc(static_cast<std::size_t>(nb_col), sizeof(T)));
    if (mat[i] == nullptr) {
      release_matrix(mat, i);
      return nullptr;
    }
  }
  return mat;
}

template <class T>
T* allocate_vector(int nb_col) {
  if (nb_col <= 0) return nullptr;
  return static_cast<T*>(std::calloc(static_cast<std::size_t>(nb_col), sizeof(T)));
}

}  // namespace

unsigned char** ucmatrice(int NbCol, int NbLig) { return allocate_matrix<unsigned char>(NbCol, NbLig); }
unsigned short** usmatrice(int NbCol, int NbLig) { return allocate_matrix<unsigned short>(NbCol, NbLig); }
short** smatrice(int NbCol, int NbLig) { return allocate_matrix<short>(NbCol, NbLig); }
int** imatrice(int NbCol, int NbLig) { return allocate_matrix<int>(NbCol, NbLig); }
float** fmatrice(int NbCol, int NbLig) { return allocate_matrix<float>(NbCol, NbLig); }
double** dmatrice(int NbCol, int NbLig) { return allocate_matrix<double>(NbCol, NbLig); }
long double** ldmatrice(int NbCol, int NbLig) { return allocate_matrix<long double>(NbCol, NbLig); }

void frucmatrice(unsigned char** Mat, int NbLig) { release_matrix(Mat, NbLig); }
void frusmatrice(unsigned short** Mat, int NbLig) { release_matrix(Mat, NbLig); }
void frsmatrice(short** Mat, int NbLig) { release_matrix(Mat, NbLig); }
void frimatrice(int** Mat, int NbLig) { release_matrix(Mat, NbLig); }
void frfmatrice(float** Mat, int NbLig) { release_matrix(Mat, NbLig); }
void frdmatrice(double** Mat, int NbLig) { release_matrix(Mat, NbLig); }
void frldmatrice(long double** Mat, int NbLig) { release_matrix(Mat, NbLig); }

unsigned char* ucvecteur(int NbCol) { return allocate_vector<unsigned char>(NbCol); }
unsigned short* usvecteur(int NbCol) { return allocate_vector<unsigned short>(NbCol); }
short* svecteur(int NbCol) { return allocate_vector<short>(NbCol); }
int* ivecteur(int NbCol) { return allocate_vector<int>(NbCol); }
double* dvecteur(int NbCol) { return allocate_vector<double>(NbCol); }
float* fvecteur(int NbCol) { return allocate_vector<float>(NbCol); }

void frucvecteur(unsigned char* Mat) { std::free(Mat); }
void frusvecteur(unsigned short* Mat) { std::free(Mat); }
void frsvecteur(short* Mat) { std::free(Mat); }
void frivecteur(int* Mat) { std::free(Mat); }
void frdvecteur(double* Mat) { std::free(Mat); }
void frfvecteur(float* Mat) { std::free(Mat); }
