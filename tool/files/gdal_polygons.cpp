// The GDAL module's polygon reader: one layer of a vector source GDAL opens
// from a local file, its polygons in the coordinate system asked for.
#include <memory>
#include <string>

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "library_module.h"

// Shared with the raster reader (gdal_reader.cpp).
void start_gdal();
const char* gdal_error();

namespace {

std::string message;  // why the last call failed, kept until the next

int fail(int status, std::string why, const char** error) {
  message = std::move(why);
  *error = message.c_str();
  return status;
}

std::string feature_name(const OGRFeature& feature) { return "feature " + std::to_string(feature.GetFID()); }

void add_polygon(const OGRPolygon& polygon, LayerFeature& out) {
  for (int k = -1; k < polygon.getNumInteriorRings(); ++k) {
    const OGRLinearRing* ring = k < 0 ? polygon.getExteriorRing() : polygon.getInteriorRing(k);
    if (ring == nullptr || ring->getNumPoints() < 4) continue;
    LayerRing r;
    r.hole = k >= 0;
    // A ring's last point repeats its first.
    for (int i = 0; i + 1 < ring->getNumPoints(); ++i) {
      r.x.push_back(ring->getX(i));
      r.y.push_back(ring->getY(i));
    }
    out.rings.push_back(std::move(r));
  }
}

// The polygons of a geometry; false when it holds something else.
bool add_polygons(const OGRGeometry& geometry, LayerFeature& out) {
  switch (wkbFlatten(geometry.getGeometryType())) {
    case wkbPolygon:
      add_polygon(*geometry.toPolygon(), out);
      return true;
    case wkbMultiPolygon:
      for (const OGRPolygon* part : *geometry.toMultiPolygon()) add_polygon(*part, out);
      return true;
    default:
      return false;
  }
}

int read_polygons(const char* path, const char* layer_name, const char* field, const char* wkt, PolygonLayer* out,
                  const char** error) {
  start_gdal();
  CPLErrorReset();
  std::unique_ptr<GDALDataset> source(
      GDALDataset::Open(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
  if (!source) return fail(1, gdal_error(), error);
  // The layer: the one named, or the only one.
  OGRLayer* layer = nullptr;
  std::string names;
  for (OGRLayer* l : source->GetLayers()) names += (names.empty() ? "" : ", ") + std::string(l->GetName());
  if (*layer_name != '\0') {
    layer = source->GetLayerByName(layer_name);
    if (layer == nullptr) return fail(2, "it has no layer " + std::string(layer_name) + " (its layers: " + names + ")", error);
  } else if (source->GetLayerCount() == 1) {
    layer = source->GetLayer(0);
  } else {
    return fail(2, source->GetLayerCount() == 0 ? std::string("it holds no layer")
                                                : "choose one of its layers with --layer: " + names,
                error);
  }
  out->name = layer->GetName();
  OGRFeatureDefn* definition = layer->GetLayerDefn();
  int field_index = -1;
  if (*field != '\0') {
    field_index = definition->GetFieldIndex(field);
    if (field_index < 0) return fail(2, "the layer " + out->name + " has no field " + field, error);
    const OGRFieldType type = definition->GetFieldDefn(field_index)->GetType();
    if (type != OFTInteger && type != OFTInteger64) {
      return fail(2, std::string("the field ") + field + " is not a whole number (" +
                         OGRFieldDefn::GetFieldTypeName(type) + "): zones need integer codes",
                  error);
    }
  }
  // Its coordinates, into those asked for.
  const OGRSpatialReference* own = layer->GetSpatialRef();
  if (own != nullptr) out->crs_name = own->GetName() != nullptr ? own->GetName() : "";
  std::unique_ptr<OGRCoordinateTransformation> transform;
  if (*wkt != '\0') {
    OGRSpatialReference target;
    if (target.importFromWkt(wkt) != OGRERR_NONE) return fail(1, "the DEM's coordinate system is not understood", error);
    target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (own == nullptr) return fail(1, "the layer " + out->name + " has no coordinate system to place it on the DEM", error);
    if (!own->IsSame(&target)) {
      OGRSpatialReference source_system(*own);
      source_system.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
      transform.reset(OGRCreateCoordinateTransformation(&source_system, &target));
      if (!transform) return fail(1, gdal_error(), error);
    }
  }
  bool any_polygon = false;
  layer->ResetReading();
  for (auto& feature : *layer) {
    LayerFeature f;
    f.id = feature->GetFID();
    f.code = field_index >= 0 ? feature->GetFieldAsInteger64(field_index) : f.id;
    OGRGeometry* geometry = feature->GetGeometryRef();
    if (geometry == nullptr || geometry->IsEmpty()) {
      out->notes.push_back(feature_name(*feature) + " has no geometry: left out");
      continue;
    }
    std::unique_ptr<OGRGeometry> mended;
    if (!geometry->IsValid()) {
      mended.reset(geometry->MakeValid());
      if (!mended || mended->IsEmpty()) {
        out->notes.push_back(feature_name(*feature) + " is not a valid polygon and could not be mended: left out");
        continue;
      }
      out->notes.push_back(feature_name(*feature) + " is not a valid polygon (a ring crosses itself): mended");
      geometry = mended.get();
    }
    if (transform && geometry->transform(transform.get()) != OGRERR_NONE) {
      return fail(1, feature_name(*feature) + " cannot be transformed to the DEM's coordinate system", error);
    }
    if (!add_polygons(*geometry, f)) {
      if (!any_polygon && out->features.empty()) {
        return fail(2, "the layer " + out->name + " holds " + OGRGeometryTypeToName(geometry->getGeometryType()) +
                           " geometries, not polygons",
                    error);
      }
      return fail(1, feature_name(*feature) + " is a " + OGRGeometryTypeToName(geometry->getGeometryType()) +
                         ", not a polygon",
                  error);
    }
    any_polygon = true;
    out->features.push_back(std::move(f));
  }
  if (!any_polygon) return fail(2, "the layer " + out->name + " holds no polygon", error);
  return 0;
}

}  // namespace

// The reader's entry in the module's table (gdal_reader.cpp).
int read_polygon_layer(const char* path, const char* layer, const char* field, const char* wkt, PolygonLayer* out,
                       const char** error) {
  return read_polygons(path, layer, field, wkt, out, error);
}
