// The resolver of builds without a coordinate-system library.

#include "crsresolver.h"
#include "crsmessages.h"

namespace nimbus::crs {

namespace {

class DecliningResolver final : public CrsResolver {
public:
    bool wktFromGeoKeys(const GeoKeys&, std::string&, Reason& error) const override
    {
        error = Reason(msg::kNoLibrary);
        return false;
    }
    bool wktFromEpsg(int, std::string&, Reason& error) const override
    {
        error = Reason(msg::kNoLibrary);
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
