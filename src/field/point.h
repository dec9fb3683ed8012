// One point of a data file, as read.
#pragma once

struct Point {
    double x;
    double y;
};
