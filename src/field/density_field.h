// The density field: a 201 x 201 grid of node weights over a rectangle of the
// x/y plane, filled from a text file of points and normalised to 0..1.
#pragma once

#include <cstdio>

struct DensityField;

struct FieldOps {
    void (*destroy)(DensityField* field);
    int (*load)(DensityField* field, std::FILE* stream, int skip_lines);
    int (*width)(DensityField* field);
    int (*height)(DensityField* field);
    int (*rejected)(DensityField* field);
    double* (*data)(DensityField* field);
};

struct DensityField {
    struct FieldState* state;
    FieldOps ops;
};

// One allocation holding the record, its state and the node array; null when
// memory is exhausted. The nodes are not cleared until load.
DensityField* create_density_field(double x_min, double y_min, double x_max, double y_max);

// The largest node value of the last load before normalisation; 0 on a bad handle.
double density_field_max(DensityField* field);
