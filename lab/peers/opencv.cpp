// The OpenCV peer (OpenCV 4.6, imgproc): cv::convexHull on a std::vector<cv::Point>, as image code
// calls it on a contour. On 32-bit integer points OpenCV sorts them and runs Sklansky's scan over
// the two chains (a monotone chain); its turn test multiplies int32 differences in int64, exact
// for the lab's coordinates (below 2^30).

#include <opencv2/imgproc.hpp>

#include <opencv2/core/version.hpp>
#include "peer.h"
#include "peers/peers.h"

namespace lab {

namespace {

struct Opencv {
    using Input = std::vector<cv::Point>;
    using Result = std::vector<cv::Point>;
    static Input prepare(const std::vector<Point>& points) {
        Input copy;
        copy.reserve(points.size());
        for (const Point& p : points) copy.emplace_back(int(p.x), int(p.y));
        return copy;
    }
    // OpenCV 4.6 refuses an empty set by a failed assertion (a cv::Exception): its message is the
    // refusal.
    static Result run(const Input& points) {
        Input copy = points;
        Result hull;
        try {
            cv::convexHull(copy, hull, /*clockwise=*/false, /*returnPoints=*/true);
        } catch (const cv::Exception& e) {
            throw Refused("OpenCV: " + e.msg);
        }
        return hull;
    }
    static std::vector<reference::Pt> read(const Result& hull) {
        std::vector<reference::Pt> result;
        for (const cv::Point& p : hull) result.push_back({p.x, p.y});
        return result;
    }
};

}  // namespace

std::string opencvVersion() {
    return CV_VERSION;
}

void addOpencvPeers(std::vector<Algorithm>& list) {
    // Corners only, counter-clockwise with y pointing up (clockwise=false); no promised start.
    Algorithm opencv{"opencv-monotone-chain", "monotone chain", Origin::Peer, {false, true, false}, true,
                     preparePeer<Opencv>, "cv::convexHull, Sklansky's scan, on int32 cv::Point"};
    opencv.refusesBelow = 1;  // no points: an assertion fails inside convexHull
    list.push_back(opencv);
}

}  // namespace lab
