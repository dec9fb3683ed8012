// One point of a data file, as read.
#pragma once

struct Point {
    double x;
    double y;
};

// What a point brings besides its place when a load asks for more than
// counts: its weight (1 where no column gives one) and the value whose mean
// the nodes hold (0 where none is asked).
struct PointValues {
    double weight;
    double value;
};
