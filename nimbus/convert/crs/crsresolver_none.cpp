// The resolver of builds without a coordinate-system library.

#include "crsresolver.h"

namespace nimbus::crs {

namespace {

const char kNoLibrary[] = "this build has no coordinate-system library to name it in WKT";

class DecliningResolver final : public CrsResolver {
public:
    bool wktFromGeoKeys(const GeoKeys&, std::string&, std::string& error) const override
    {
        error = kNoLibrary;
        return false;
    }
    bool wktFromEpsg(int, std::string&, std::string& error) const override
    {
        error = kNoLibrary;
        return false;
    }
};

} // namespace

const CrsResolver& systemCrsResolver()
{
    static const DecliningResolver resolver;
    return resolver;
}

} // namespace nimbus::crs
