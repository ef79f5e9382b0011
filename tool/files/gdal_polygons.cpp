// The GDAL module's polygon reader: one layer of a vector source GDAL opens
// from a local file, its polygons in the coordinate system asked for, the
// features of one code made one by their union (GEOS, through OGR).
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "library_module.h"

// Shared with the raster reader (gdal_reader.cpp).
// Null once GDAL is ready; else why it cannot be used.
const char* start_gdal();
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

// The polygons of a geometry (a mended or united one may also hold lines
// or points, of no area): a multipolygon, or null when there are none.
std::unique_ptr<OGRGeometry> only_polygons(const OGRGeometry& geometry) {
  const OGRwkbGeometryType type = wkbFlatten(geometry.getGeometryType());
  if (type == wkbPolygon || type == wkbMultiPolygon) return std::unique_ptr<OGRGeometry>(geometry.clone());
  if (type != wkbGeometryCollection) return nullptr;
  auto polygons = std::make_unique<OGRMultiPolygon>();
  for (const OGRGeometry* part : *geometry.toGeometryCollection()) {
    if (std::unique_ptr<OGRGeometry> p = only_polygons(*part)) {
      if (wkbFlatten(p->getGeometryType()) == wkbPolygon) {
        polygons->addGeometry(p.get());
      } else {
        for (const OGRPolygon* q : *p->toMultiPolygon()) polygons->addGeometry(q);
      }
    }
  }
  return polygons;
}

int read_polygons(const char* path, const char* layer_name, const char* field, const char* wkt, PolygonLayer* out,
                  TakeZone take, void* taker, const char** error) {
  if (const char* why = start_gdal()) return fail(1, why, error);
  CPLErrorReset();
  // A local file only: not a server's address, nor GeoJSON text.
  if (std::string(path).find("://") != std::string::npos || *path == '{') {
    return fail(1, "not a local file: mesacrop reads local files only", error);
  }
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
  char** files = source->GetFileList();
  for (char** f = files; f != nullptr && *f != nullptr; ++f) out->files.push_back(*f);
  CSLDestroy(files);
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
  out->transformed = false;
  std::unique_ptr<OGRCoordinateTransformation> transform;
  if (*wkt != '\0') {
    OGRSpatialReference target;
    if (target.importFromWkt(wkt) != OGRERR_NONE) return fail(1, "the DEM's coordinate system is not understood", error);
    target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (own == nullptr) {
      out->notes.push_back("the layer " + out->name + " has no coordinate system: its coordinates are taken as the DEM's");
    }
    out->target_crs_name = target.GetName() != nullptr ? target.GetName() : "";
    if (own != nullptr && !own->IsSame(&target)) {
      out->transformed = true;
      OGRSpatialReference source_system(*own);
      source_system.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
      transform.reset(OGRCreateCoordinateTransformation(&source_system, &target));
      if (!transform) return fail(1, gdal_error(), error);
    }
  }
  // The codes of several features: theirs are kept until every feature is
  // read, then united; the others go as they are read (a feature's id is
  // its own).
  std::set<long long> repeated;
  if (field_index >= 0) {
    std::set<long long> seen;
    const char* only_fields[] = {"OGR_GEOMETRY", nullptr};
    layer->SetIgnoredFields(only_fields);
    for (auto& feature : *layer) {
      const long long code = feature->GetFieldAsInteger64(field_index);
      if (!seen.insert(code).second) repeated.insert(code);
    }
    layer->SetIgnoredFields(nullptr);
  }
  std::map<long long, std::vector<std::unique_ptr<OGRGeometry>>> by_code;
  std::map<long long, long long> first_id;
  bool any = false;
  layer->ResetReading();
  for (auto& feature : *layer) {
    const long long code = field_index >= 0 ? feature->GetFieldAsInteger64(field_index) : feature->GetFID();
    std::unique_ptr<OGRGeometry> geometry(feature->StealGeometry());
    if (geometry == nullptr || geometry->IsEmpty()) {
      out->notes.push_back(feature_name(*feature) + " has no geometry: left out");
      continue;
    }
    const OGRwkbGeometryType type = wkbFlatten(geometry->getGeometryType());
    if (type != wkbPolygon && type != wkbMultiPolygon) {
      if (!any) {
        // Perhaps the layer holds no polygon at all: a choice, not a fault.
        bool polygons = false;
        for (auto& other : *layer) {
          const OGRGeometry* g = other->GetGeometryRef();
          const OGRwkbGeometryType t = g != nullptr ? wkbFlatten(g->getGeometryType()) : wkbUnknown;
          polygons = polygons || t == wkbPolygon || t == wkbMultiPolygon;
        }
        if (!polygons) {
          return fail(2, "the layer " + out->name + " holds " + OGRGeometryTypeToName(geometry->getGeometryType()) +
                             " geometries, not polygons",
                      error);
        }
      }
      return fail(1, feature_name(*feature) + " is a " + OGRGeometryTypeToName(geometry->getGeometryType()) +
                         ", not a polygon",
                  error);
    }
    if (!geometry->IsValid()) {
      std::unique_ptr<OGRGeometry> mended(geometry->MakeValid());
      std::unique_ptr<OGRGeometry> polygons;
      if (mended) polygons = only_polygons(*mended);
      if (!polygons || polygons->IsEmpty()) {
        out->notes.push_back(feature_name(*feature) + " is not a valid polygon and could not be mended: left out");
        continue;
      }
      out->notes.push_back(feature_name(*feature) + " is not a valid polygon (a ring crosses itself, or touches another): mended");
      geometry = std::move(polygons);
    }
    if (transform && geometry->transform(transform.get()) != OGRERR_NONE) {
      return fail(1, feature_name(*feature) + " cannot be transformed from " + out->crs_name + " to the DEM's " +
                         out->target_crs_name + " (are its coordinates in " + out->crs_name + "?)",
                  error);
    }
    any = true;
    if (repeated.count(code) == 0) {
      LayerFeature f;
      f.code = code;
      f.id = feature->GetFID();
      add_polygons(*geometry, f);
      take(taker, f);
      continue;
    }
    first_id.emplace(code, feature->GetFID());
    by_code[code].push_back(std::move(geometry));
  }
  if (!any && CPLGetLastErrorType() == CE_Failure) return fail(1, gdal_error(), error);
  if (!any) return fail(2, "the layer " + out->name + " holds no polygon", error);
  for (auto& [code, geometries] : by_code) {
    LayerFeature f;
    f.code = code;
    f.id = first_id[code];
    f.features = static_cast<long long>(geometries.size());
    if (geometries.size() == 1) {
      add_polygons(*geometries.front(), f);
    } else {
      // Features of one code may overlap: their union covers each cell once.
      OGRMultiPolygon all;
      for (auto& g : geometries) {
        if (wkbFlatten(g->getGeometryType()) == wkbPolygon) {
          all.addGeometryDirectly(g.release());
        } else {
          for (const OGRPolygon* part : *g->toMultiPolygon()) all.addGeometry(part);
        }
      }
      std::unique_ptr<OGRGeometry> united(all.UnionCascaded());
      if (!united) return fail(1, "the features of code " + std::to_string(code) + " cannot be united: " + gdal_error(), error);
      std::unique_ptr<OGRGeometry> polygons = only_polygons(*united);
      if (polygons) add_polygons(*polygons, f);
    }
    geometries.clear();
    take(taker, f);
  }
  return 0;
}

}  // namespace

// The reader's entry in the module's table (gdal_reader.cpp).
int read_polygon_layer(const char* path, const char* layer, const char* field, const char* wkt, PolygonLayer* out,
                       TakeZone take, void* taker, const char** error) {
  return read_polygons(path, layer, field, wkt, out, take, taker, error);
}

int is_vector_layer(const char* path) {
  start_gdal();
  if (std::string(path).find("://") != std::string::npos) return 0;
  std::unique_ptr<GDALDataset> source(
      GDALDataset::Open(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
  return source && source->GetLayerCount() > 0 && source->GetRasterCount() == 0 ? 1 : 0;
}
