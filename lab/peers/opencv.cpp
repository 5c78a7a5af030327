// The OpenCV peer (OpenCV 4.6, imgproc): cv::convexHull on a std::vector<cv::Point>, as image code
// calls it on a contour. On 32-bit integer points OpenCV sorts them and runs Sklansky's scan over
// the two chains (a monotone chain); its turn test multiplies int32 differences in int64, exact
// for the lab's coordinates (below 2^30).

#include <opencv2/imgproc.hpp>

#include <type_traits>

#include <opencv2/core/version.hpp>
#include "peer.h"
#include "peers/peers.h"

namespace lab {

namespace {

// cv::convexHull on its integer points (int32 cv::Point) or, for real cells of 32-bit floats, on
// cv::Point2f: its two paths, each given the points in the type it takes.
template <class CvPoint>
struct Opencv {
    using Input = std::vector<CvPoint>;
    using Result = std::vector<CvPoint>;
    template <class Q>
    static Input prepare(const std::vector<Q>& points) {
        using C = decltype(CvPoint::x);
        Input copy;
        copy.reserve(points.size());
        for (const Q& p : points) {
            if constexpr (std::is_floating_point_v<C>) {
                if (nearestFloat(double(p.x)) != p.x || nearestFloat(double(p.y)) != p.y) {
                    throw Refused("OpenCV: takes 32-bit floats; " + show(RealPoint{double(p.x), double(p.y)}) + " is not one");
                }
            }
            copy.emplace_back(C(p.x), C(p.y));
        }
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
    static std::vector<RealPoint> read(const Result& hull) {
        std::vector<RealPoint> result;
        for (const CvPoint& p : hull) result.push_back({double(p.x), double(p.y)});
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
                     preparePeer<Opencv<cv::Point>>, "cv::convexHull, Sklansky's scan, on int32 cv::Point"};
    opencv.refusesBelow = 1;  // no points: an assertion fails inside convexHull
    opencv.prepareReal = prepareRealPeer<Opencv<cv::Point2f>>;
    opencv.floatsOnly = true;
    list.push_back(opencv);
}

}  // namespace lab
