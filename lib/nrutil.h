// Array library: zero-filled matrices and vectors of the tool's element types.
//
// A matrix is a table of NbLig row pointers; row i is its own zero-filled block
// of NbCol elements and cell (i, j) is Mat[i][j]. Nothing records the
// dimensions: the caller keeps them and passes NbLig back on release.
//
// Allocators take the column count first and the line count second; releases
// take the matrix first and its line count second. Every allocator returns
// null when a count is zero or negative or when memory cannot be obtained; a
// failed allocation gives back whatever it had already obtained.
#pragma once

unsigned char** ucmatrice(int NbCol, int NbLig);
unsigned short** usmatrice(int NbCol, int NbLig);
short** smatrice(int NbCol, int NbLig);
int** imatrice(int NbCol, int NbLig);
float** fmatrice(int NbCol, int NbLig);
double** dmatrice(int NbCol, int NbLig);
long double** ldmatrice(int NbCol, int NbLig);

void frucmatrice(unsigned char** Mat, int NbLig);
void frusmatrice(unsigned short** Mat, int NbLig);
void frsmatrice(short** Mat, int NbLig);
void frimatrice(int** Mat, int NbLig);
void frfmatrice(float** Mat, int NbLig);
void frdmatrice(double** Mat, int NbLig);
void frldmatrice(long double** Mat, int NbLig);

unsigned char* ucvecteur(int NbCol);
unsigned short* usvecteur(int NbCol);
short* svecteur(int NbCol);
int* ivecteur(int NbCol);
double* dvecteur(int NbCol);
float* fvecteur(int NbCol);

void frucvecteur(unsigned char* Mat);
void frusvecteur(unsigned short* Mat);
void frsvecteur(short* Mat);
void frivecteur(int* Mat);
void frdvecteur(double* Mat);
void frfvecteur(float* Mat);
