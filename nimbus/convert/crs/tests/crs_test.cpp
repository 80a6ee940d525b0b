// Coordinate systems: the WKT scanner on real texts, GeoTIFF keys of real
// LAS files through the resolver, and damaged keys.

#include "crsresolver.h"
#include "geokeys.h"
#include "lasprojection.h"
#include "lasreader.h"
#include "systemerror.h"
#include "wktsummary.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using nimbus::crs::WktSummary;

std::string sample(const char* relative)
{
    return std::string(QUILLFEN_SOURCE_DIR "/../shared/") + relative;
}

nimbus::las::LasProjection projectionOf(const char* relative)
{
    nimbus::las::LasReader reader;
    EXPECT_TRUE(reader.open(sample(relative))) << reader.error();
    return nimbus::las::readLasProjection(sample(relative), reader.header());
}

} // namespace

TEST(WktSummary, NamesTheOutermostSystemAndItsOwnCode)
{
    // The datum, spheroid and units carry codes of their own; only the last
    // authority at the outermost level names the system.
    const std::string wkt =
        "PROJCS[\"NAD83 / UTM zone 10N\",GEOGCS[\"NAD83\",DATUM[\"North_American_Datum_1983\","
        "SPHEROID[\"GRS 1980\",6378137,298.257222101,AUTHORITY[\"EPSG\",\"7019\"]],"
        "AUTHORITY[\"EPSG\",\"6269\"]],AUTHORITY[\"EPSG\",\"4269\"]],PROJECTION[\"Transverse_Mercator\"],"
        "UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],AUTHORITY[\"EPSG\",\"26910\"]]";
    WktSummary s;
    ASSERT_TRUE(nimbus::crs::summarizeWkt(wkt, s));
    EXPECT_EQ(s.kind, WktSummary::Kind::Projected);
    EXPECT_EQ(s.name, "NAD83 / UTM zone 10N");
    EXPECT_EQ(s.epsg, 26910);

    // WKT 2: ID with a bare number; a quoted bracket inside a name is text.
    ASSERT_TRUE(nimbus::crs::summarizeWkt(
        " GEOGCRS[\"WGS 84 [x]\",DATUM[\"World Geodetic System 1984\",ID[\"EPSG\",6326]],ID[\"EPSG\",4326]]", s));
    EXPECT_EQ(s.kind, WktSummary::Kind::Geographic);
    EXPECT_EQ(s.name, "WGS 84 [x]");
    EXPECT_EQ(s.epsg, 4326);

    // No code of its own: none, even though its parts have one.
    ASSERT_TRUE(nimbus::crs::summarizeWkt(
        "COMPD_CS[\"local\",VERT_CS[\"h\",VERT_DATUM[\"d\",2005,AUTHORITY[\"EPSG\",\"5103\"]]]]", s));
    EXPECT_EQ(s.kind, WktSummary::Kind::Other);
    EXPECT_EQ(s.epsg, 0);

    EXPECT_FALSE(nimbus::crs::summarizeWkt("", s));
    EXPECT_FALSE(nimbus::crs::summarizeWkt("EPSG:4326", s));
    EXPECT_FALSE(nimbus::crs::summarizeWkt("PROJCS[\"cut off", s));
}

TEST(LasProjection, GeoTiffKeysOfRealFilesBecomeTheirSystem)
{
    if (!NIMBUS_CRS_RESOLVES)
        GTEST_SKIP() << "this build resolves no GeoTIFF keys (see WithoutAResolver)";
    const nimbus::crs::CrsResolver& resolver = nimbus::crs::systemCrsResolver();
    std::string wkt;
    nimbus::Reason note;

    // Keys naming NAD83 / UTM 10N by code; the liblas WKT record beside them
    // is not the one used.
    const nimbus::las::LasProjection utm = projectionOf("testdata/las/pdal/autzen-utm.las");
    EXPECT_EQ(utm.keys.directory.size(), 36u);
    EXPECT_EQ(utm.keys.ascii, std::string("NAD83 / UTM zone 10N|NAD83|\0", 28));
    EXPECT_TRUE(utm.wkt.empty());
    EXPECT_EQ(utm.otherWkt.rfind("PROJCS[\"NAD83 / UTM zone 10N\"", 0), 0u);
    ASSERT_TRUE(resolver.wktFromGeoKeys(utm.keys, wkt, note)) << note.text();
    WktSummary s;
    ASSERT_TRUE(nimbus::crs::summarizeWkt(wkt, s)) << wkt;
    EXPECT_EQ(s.name, "NAD83 / UTM zone 10N");
    EXPECT_EQ(s.epsg, 26910);
    EXPECT_EQ(nimbus::las::lasCoordinateSystem(utm, resolver, note), wkt);
    EXPECT_TRUE(note.empty());

    // A geographic system.
    const nimbus::las::LasProjection lonLat = projectionOf("testdata/las/pdal/epsg_4326.las");
    ASSERT_TRUE(nimbus::crs::summarizeWkt(nimbus::las::lasCoordinateSystem(lonLat, resolver, note), s));
    EXPECT_EQ(s.kind, WktSummary::Kind::Geographic);
    EXPECT_EQ(s.epsg, 4326);

    // LAS 1.4 flagged for WKT: the record's text exactly as stored.
    const nimbus::las::LasProjection flagged = projectionOf("testdata/las/pdal/autzen-bmx-2010.las");
    EXPECT_TRUE(flagged.wktFlagged);
    EXPECT_EQ(flagged.wkt.size(), 841u); // the whole record, no closing NUL
    EXPECT_EQ(nimbus::las::lasCoordinateSystem(flagged, resolver, note), flagged.wkt);

    // A WKT text in an extended record after the points.
    const nimbus::las::LasProjection extended = projectionOf("testdata/las/laspy/simple1_4.las");
    EXPECT_FALSE(extended.wkt.empty());
    EXPECT_FALSE(extended.keys.empty());

    // No projection record at all: nothing.
    EXPECT_TRUE(nimbus::las::lasCoordinateSystem(projectionOf("testdata/las/laz-rs/point10.las"), resolver, note)
                    .empty());
    EXPECT_TRUE(note.empty());
}

TEST(LasProjection, DamagedKeysAreRefusedWithAReason)
{
    if (!NIMBUS_CRS_RESOLVES)
        GTEST_SKIP() << "this build resolves no GeoTIFF keys (see WithoutAResolver)";
    const nimbus::crs::CrsResolver& resolver = nimbus::crs::systemCrsResolver();
    nimbus::crs::GeoKeys keys = nimbus::crs::epsgGeoKeys(26910, true);
    std::string wkt;
    nimbus::Reason error;
    ASSERT_TRUE(resolver.wktFromGeoKeys(keys, wkt, error)) << error.text();
    WktSummary s;
    ASSERT_TRUE(nimbus::crs::summarizeWkt(wkt, s));
    EXPECT_EQ(s.epsg, 26910);

    nimbus::crs::GeoKeys cut = keys;
    cut.directory.resize(10); // announces three keys, holds one and a half
    EXPECT_FALSE(resolver.wktFromGeoKeys(cut, wkt, error));
    EXPECT_NE(error.text().find("fewer keys"), std::string::npos) << error.text();

    nimbus::crs::GeoKeys outside = keys;
    outside.directory[13] = 34737; // the projected key's value "in" absent ASCII parameters
    outside.directory[14] = 20;
    EXPECT_FALSE(resolver.wktFromGeoKeys(outside, wkt, error));

    nimbus::crs::GeoKeys unknown = nimbus::crs::epsgGeoKeys(1, true); // no EPSG system has code 1
    error = nimbus::Reason();
    EXPECT_FALSE(resolver.wktFromGeoKeys(unknown, wkt, error) && !wkt.empty());

    // The fallback: keys that name nothing give way to a WKT record, and
    // without one the reason becomes a note.
    nimbus::las::LasProjection p;
    p.keys = unknown;
    nimbus::Reason note;
    EXPECT_TRUE(nimbus::las::lasCoordinateSystem(p, resolver, note).empty());
    EXPECT_FALSE(note.empty());
    p.otherWkt = "GEOGCS[\"x\"]";
    EXPECT_EQ(nimbus::las::lasCoordinateSystem(p, resolver, note), p.otherWkt);
}

TEST(LasProjection, WithoutAResolverWktStillCountsAndKeysBecomeANote)
{
    class Declining : public nimbus::crs::CrsResolver {
    public:
        bool wktFromGeoKeys(const nimbus::crs::GeoKeys&, std::string&, nimbus::Reason& error) const override
        {
            error = nimbus::Reason(nimbus::msg::kOwnWords, "no library");
            return false;
        }
        bool wktFromEpsg(int, std::string&, nimbus::Reason& error) const override
        {
            error = nimbus::Reason(nimbus::msg::kOwnWords, "no library");
            return false;
        }
    } declining;
    nimbus::Reason note;
    // Keys beside a WKT record: the record stands in for them.
    const nimbus::las::LasProjection utm = projectionOf("testdata/las/pdal/autzen-utm.las");
    EXPECT_EQ(nimbus::las::lasCoordinateSystem(utm, declining, note), utm.otherWkt);
    EXPECT_TRUE(note.empty());
    // Keys alone: nothing written, and the user is told why.
    EXPECT_TRUE(nimbus::las::lasCoordinateSystem(projectionOf("testdata/las/pdal/epsg_4326.las"), declining, note)
                    .empty());
    EXPECT_NE(note.text().find("no library"), std::string::npos) << note.text();
    // A declared code likewise; WKT passes untouched; other text is named.
    EXPECT_TRUE(nimbus::crs::wktFromDeclaration("epsg : 4326", declining, note).empty());
    EXPECT_NE(note.text().find("EPSG:4326"), std::string::npos) << note.text();
    EXPECT_EQ(nimbus::crs::wktFromDeclaration("GEOGCS[\"x\"]", declining, note), "GEOGCS[\"x\"]");
    EXPECT_TRUE(note.empty());
    EXPECT_TRUE(nimbus::crs::wktFromDeclaration("UTM 10 north", declining, note).empty());
    EXPECT_NE(note.text().find("neither WKT nor an EPSG code"), std::string::npos) << note.text();
}
