// The compiled part of Boost.URL, for the whole program (this header may be included in one file only).
#include <boost/url/src.hpp>
