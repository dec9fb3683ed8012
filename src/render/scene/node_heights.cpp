#include "render/scene/node_heights.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The kernel's taps, -radius..radius, not yet normalised.
std::vector<double> gaussian_taps(double sigma)
{
    const int radius = int(std::ceil(3 * sigma));
    std::vector<double> taps(size_t(2 * radius + 1));
    for (int t = -radius; t <= radius; ++t)
        taps[size_t(t + radius)] = std::exp(-double(t) * t / (2.0 * sigma * sigma));
    return taps;
}

// For each of n places, one over the sum of the taps that fall inside 0..n-1.
std::vector<double> edge_weights(const std::vector<double>& taps, int n)
{
    const int radius = int(taps.size() / 2);
    std::vector<double> weights(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int t = std::max(-radius, -i); t <= std::min(radius, n - 1 - i); ++t)
            sum += taps[size_t(t + radius)];
        weights[size_t(i)] = 1.0 / sum;
    }
    return weights;
}

// One pass along rows (step 1) or columns (step nx). Each tap adds a
// shifted copy of the input, so the inner loops run over whole rows.
void smooth_rows(const double* in, double* out, int nx, int ny, const std::vector<double>& taps,
                 const std::vector<double>& weights)
{
    const int radius = int(taps.size() / 2);
    for (int j = 0; j < ny; ++j) {
        const double* row = in + size_t(j) * size_t(nx);
        double* sum = out + size_t(j) * size_t(nx);
        std::fill(sum, sum + nx, 0.0);
        for (int t = -radius; t <= radius; ++t) {
            const double tap = taps[size_t(t + radius)];
            const int first = std::max(0, -t), end = std::min(nx, nx - t);
            for (int i = first; i < end; ++i)
                sum[i] += tap * row[i + t];
        }
        for (int i = 0; i < nx; ++i)
            sum[i] *= weights[size_t(i)];
    }
}

void smooth_columns(const double* in, double* out, int nx, int ny, const std::vector<double>& taps,
                    const std::vector<double>& weights)
{
    const int radius = int(taps.size() / 2);
    std::fill(out, out + size_t(nx) * size_t(ny), 0.0);
    for (int j = 0; j < ny; ++j) {
        double* sum = out + size_t(j) * size_t(nx);
        for (int t = std::max(-radius, -j); t <= std::min(radius, ny - 1 - j); ++t) {
            const double tap = taps[size_t(t + radius)] * weights[size_t(j)];
            const double* row = in + size_t(j + t) * size_t(nx);
            for (int i = 0; i < nx; ++i)
                sum[i] += tap * row[i];
        }
    }
}

} // namespace

bool heights_differ(const PictureOptions& options) { return options.smoothing_cells != 0 || options.log_scale; }

double scott_smoothing_cells(const NodeGrid& nodes, double max_weight)
{
    if (!nodes.nodes || nodes.nx <= 0 || nodes.ny <= 0)
        return 0;
    // The nodes' weights stand for the points: their sum is the count in
    // range, their spread the points' spread, in cells.
    double sum = 0, sum_i = 0, sum_j = 0, sum_ii = 0, sum_jj = 0;
    for (int j = 0; j < nodes.ny; ++j)
        for (int i = 0; i < nodes.nx; ++i) {
            const double w = nodes.nodes[size_t(j) * size_t(nodes.nx) + size_t(i)];
            sum += w, sum_i += w * i, sum_j += w * j, sum_ii += w * i * i, sum_jj += w * j * j;
        }
    const double points = sum * max_weight;
    if (!(sum > 0) || !(points >= 2))
        return 0;
    const double var_i = std::max(0.0, sum_ii / sum - (sum_i / sum) * (sum_i / sum));
    const double var_j = std::max(0.0, sum_jj / sum - (sum_j / sum) * (sum_j / sum));
    // Scott's rule in two dimensions: the spread times n^(-1/6), one width
    // for both axes from their geometric mean.
    return std::sqrt(std::sqrt(var_i * var_j)) * std::pow(points, -1.0 / 6.0);
}

void smooth_nodes(std::span<double> values, int nx, int ny, double sigma)
{
    if (!(sigma > 0) || nx <= 0 || ny <= 0 || values.size() != size_t(nx) * size_t(ny))
        return;
    const std::vector<double> taps = gaussian_taps(sigma);
    std::vector<double> across(values.size());
    smooth_rows(values.data(), across.data(), nx, ny, taps, edge_weights(taps, nx));
    smooth_columns(across.data(), values.data(), nx, ny, taps, edge_weights(taps, ny));
}

bool write_heights(std::span<double> heights, const NodeGrid& nodes, double max_weight, const PictureOptions& options,
                   double* top_weight, double* smoothing_cells)
{
    if (!nodes.nodes || nodes.nx <= 0 || nodes.ny <= 0 || heights.size() != size_t(nodes.nx) * size_t(nodes.ny))
        return false;
    std::copy(nodes.nodes, nodes.nodes + heights.size(), heights.begin());
    const double sigma = options.smoothing_cells == kSmoothingAuto ? scott_smoothing_cells(nodes, max_weight)
                                                                   : double(options.smoothing_cells);
    if (smoothing_cells)
        *smoothing_cells = sigma;
    smooth_nodes(heights, nodes.nx, nodes.ny, sigma);
    const double highest = *std::max_element(heights.begin(), heights.end());
    if (top_weight)
        *top_weight = highest > 0 ? highest * max_weight : 0.0;
    if (!(highest > 0))
        return true;
    if (options.log_scale && max_weight > 0) {
        // Back to weights first: log(1 + w) depends on the weights' own scale.
        const double top = highest * max_weight;
        for (double& h : heights)
            h = log_height(h * max_weight, top);
    } else {
        for (double& h : heights)
            h /= highest;
    }
    return true;
}

bool write_mean_levels(std::span<double> heights, const NodeGrid& nodes, double least, double greatest)
{
    if (!nodes.nodes || nodes.nx <= 0 || nodes.ny <= 0 || heights.size() != size_t(nodes.nx) * size_t(nodes.ny))
        return false;
    const double span = greatest - least;
    for (size_t k = 0; k < heights.size(); ++k)
        heights[k] = span > 0 ? (nodes.nodes[k] - least) / span : nodes.nodes[k] - nodes.nodes[k];
    return true;
}

double log_height(double weight, double top_weight) { return std::log1p(weight) / std::log1p(top_weight); }

double weight_at_log_height(double level, double top_weight) { return std::expm1(level * std::log1p(top_weight)); }
