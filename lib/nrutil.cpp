#include "nrutil.h"

#include <cstddef>
#include <cstdlib>

namespace {

template <class T>
void release_matrix(T** mat, int nb_lig) {
  if (mat == nullptr) return;
  for (int i = 0; i < nb_lig; ++i) std::free(mat[i]);
  std::free(mat);
}

template <class T>
T** allocate_matrix(int nb_col, int nb_lig) {
  if (nb_col <= 0 || nb_lig <= 0) return nullptr;
  auto** mat = static_cast<T**>(std::calloc(static_cast<std::size_t>(nb_lig), sizeof(T*)));
  if (mat == nullptr) return nullptr;
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
