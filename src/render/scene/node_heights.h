// The heights (and shade levels) the surface is drawn with: the field's
// nodes as they are, or smoothed and put on a log scale as the picture's
// options ask, always normalised to the highest node.
#pragma once

#include <span>

#include "render/scene/mesh.h"
#include "render/scene/picture_options.h"

// Whether the options change the nodes at all; when not, the field's nodes
// are drawn as they are.
bool heights_differ(const PictureOptions& options);

// Fills `heights` (nx * ny values) from the field's nodes, which are
// normalised to the highest node, weighing `max_weight` before that. The
// weight of the highest node drawn (after smoothing) goes to *top_weight
// when given: the height scale's end; the Gaussian width smoothed with
// (Scott's rule's for kSmoothingAuto, 0 for none) to *smoothing_cells.
// False, writing nothing, when the sizes do not match.
bool write_heights(std::span<double> heights, const NodeGrid& nodes, double max_weight, const PictureOptions& options,
                   double* top_weight = nullptr, double* smoothing_cells = nullptr);

// Fills `heights` from nodes holding means from `least` to `greatest`:
// each mean's level between them, the least at 0 (all at 0 when they are
// equal); a node without a mean stays NaN. False, writing nothing, when the
// sizes do not match.
bool write_mean_levels(std::span<double> heights, const NodeGrid& nodes, double least, double greatest);

// Smooths a grid of nx * ny values in place with a Gaussian of `sigma`
// cells, cut off beyond three sigma. Near an edge the kernel is cut at the
// grid and weighed up to a sum of 1 over what remains, so a flat field
// stays flat to its edges and nothing is imagined beyond the range.
void smooth_nodes(std::span<double> values, int nx, int ny, double sigma);

// The Gaussian width in cells that Scott's rule gives for the points the
// nodes hold (normalised, `max_weight` the highest before that): their
// spread times n^(-1/6); 0 for fewer than two points.
double scott_smoothing_cells(const NodeGrid& nodes, double max_weight);

// On a log scale a weight's height is log(1 + w) / log(1 + top), and the
// weight at a height goes back through the same rule.
double log_height(double weight, double top_weight);
double weight_at_log_height(double level, double top_weight);
