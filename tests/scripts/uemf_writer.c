/* Writes a WMF and an EMF of the same drawing through libuemf, an independent metafile writer,
 * for the metafile tests (this program is test-only: libuemf is never linked into the product).
 *
 * Usage: uemf_writer OUTDIR
 * Writes OUTDIR/uemf.wmf (placeable, 1200 units per inch, 240 x 144 pixels at 96 dpi) and
 * OUTDIR/uemf.emf (frame 63.5 x 38.1 mm: also 240 x 144 pixels; drawn in 1200 dpi device
 * pixels as vector editors write them). In picture pixels both hold, on a white rectangle
 * over everything: a red rectangle (24,24)-(96,84), a blue ellipse (120,24)-(216,96), a green
 * triangle (24,132) (96,132) (60,96) and a black rectangle outline (120,108)-(216,132) 5 pixels
 * wide (1200 dpi units are 12.5 per pixel). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <uemf.h>
#include <uwmf.h>

/* Picture pixels to 1200 dpi units. */
static int U(double px) { return (int)(px * 12.5 + 0.5); }

static int Fail(const char *what) {
  fprintf(stderr, "uemf_writer: %s failed\n", what);
  return 1;
}

static int WriteWmf(const char *path) {
  WMFTRACK *wt = NULL;
  WMFHANDLES *wht = NULL;
  uint32_t pen = 0, white = 0, red = 0, blue = 0, green = 0, outline = 0, hollow = 0;
  if (wmf_start(path, 1 << 16, 1 << 12, &wt) || wmf_htable_create(128, 128, &wht)) {
    return Fail("wmf_start");
  }
  U_PAIRF *size = U_PAIRF_set(240.0f / 96, 144.0f / 96); /* inches */
  wmf_header_append((U_METARECORD *)U_WMRHEADER_set(size, 1200), wt, 1);
  free(size);
  wmf_append((U_METARECORD *)U_WMRSETWINDOWORG_set(point16_set(0, 0)), wt, 1);
  wmf_append((U_METARECORD *)U_WMRSETWINDOWEXT_set(point16_set(U(240), U(144))), wt, 1);
  wmf_append((U_METARECORD *)U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC), wt, 1);
  wmf_append((U_METARECORD *)U_WMRSETBKMODE_set(U_TRANSPARENT), wt, 1);
  wmf_append((U_METARECORD *)wcreatepenindirect_set(&pen, wht, U_PEN_set(U_PS_NULL, 0,
             colorref3_set(0, 0, 0))), wt, 1);
  wmf_append((U_METARECORD *)wselectobject_set(pen, wht), wt, 1);
  wmf_append((U_METARECORD *)wcreatebrushindirect_set(&white, wht,
             U_WLOGBRUSH_set(U_BS_SOLID, colorref3_set(255, 255, 255), 0)), wt, 1);
  wmf_append((U_METARECORD *)wselectobject_set(white, wht), wt, 1);
  wmf_append((U_METARECORD *)U_WMRRECTANGLE_set(U_RECT16_set(point16_set(0, 0),
             point16_set(U(240), U(144)))), wt, 1);
  wmf_append((U_METARECORD *)wcreatebrushindirect_set(&red, wht,
             U_WLOGBRUSH_set(U_BS_SOLID, colorref3_set(255, 0, 0), 0)), wt, 1);
  wmf_append((U_METARECORD *)wselectobject_set(red, wht), wt, 1);
  wmf_append((U_METARECORD *)U_WMRRECTANGLE_set(U_RECT16_set(point16_set(U(24), U(24)),
             point16_set(U(96), U(84)))), wt, 1);
  wmf_append((U_METARECORD *)wcreatebrushindirect_set(&blue, wht,
             U_WLOGBRUSH_set(U_BS_SOLID, colorref3_set(0, 0, 255), 0)), wt, 1);
  wmf_append((U_METARECORD *)wselectobject_set(blue, wht), wt, 1);
  wmf_append((U_METARECORD *)U_WMRELLIPSE_set(U_RECT16_set(point16_set(U(120), U(24)),
             point16_set(U(216), U(96)))), wt, 1);
  wmf_append((U_METARECORD *)wcreatebrushindirect_set(&green, wht,
             U_WLOGBRUSH_set(U_BS_SOLID, colorref3_set(0, 255, 0), 0)), wt, 1);
  wmf_append((U_METARECORD *)wselectobject_set(green, wht), wt, 1);
  U_POINT16 triangle[3] = {point16_set(U(24), U(132)), point16_set(U(96), U(132)),
                           point16_set(U(60), U(96))};
  wmf_append((U_METARECORD *)U_WMRPOLYGON_set(3, triangle), wt, 1);
  wmf_append((U_METARECORD *)wcreatepenindirect_set(&outline, wht, U_PEN_set(U_PS_SOLID,
             (uint16_t)U(5), colorref3_set(0, 0, 0))), wt, 1);
  wmf_append((U_METARECORD *)wselectobject_set(outline, wht), wt, 1);
  wmf_append((U_METARECORD *)wcreatebrushindirect_set(&hollow, wht,
             U_WLOGBRUSH_set(U_BS_NULL, colorref3_set(0, 0, 0), 0)), wt, 1);
  wmf_append((U_METARECORD *)wselectobject_set(hollow, wht), wt, 1);
  wmf_append((U_METARECORD *)U_WMRRECTANGLE_set(U_RECT16_set(point16_set(U(120), U(108)),
             point16_set(U(216), U(132)))), wt, 1);
  wmf_append((U_METARECORD *)U_WMREOF_set(), wt, 1);
  if (wmf_finish(wt)) return Fail("wmf_finish");
  wmf_free(&wt);
  wmf_htable_free(&wht);
  return 0;
}

static U_RECTL Rect(double l, double t, double r, double b) {
  return rectl_set(point32_set(U(l), U(t)), point32_set(U(r), U(b)));
}

static int WriteEmf(const char *path) {
  EMFTRACK *et = NULL;
  EMFHANDLES *eht = NULL;
  uint32_t pen = 0, white = 0, red = 0, blue = 0, green = 0, outline = 0;
  if (emf_start(path, 1 << 16, 1 << 12, &et) || emf_htable_create(128, 128, &eht)) {
    return Fail("emf_start");
  }
  /* A reference device of 1200 dpi, 216 x 279 mm; the frame 6350 x 3810 hundredths of a mm. */
  U_SIZEL device = sizel_set(10200, 13200), millimetres = sizel_set(216, 279);
  U_RECTL bounds = Rect(0, 0, 240, 144);
  U_RECTL frame = rectl_set(point32_set(0, 0), point32_set(6350, 3810));
  emf_append((U_ENHMETARECORD *)U_EMRHEADER_set(bounds, frame, NULL, 0, NULL, device,
             millimetres, 0), et, 1);
  emf_append((U_ENHMETARECORD *)U_EMRSETBKMODE_set(U_TRANSPARENT), et, 1);
  emf_append((U_ENHMETARECORD *)createpen_set(&pen, eht, logpen_set(U_PS_NULL,
             point_set(0, 0), colorref3_set(0, 0, 0))), et, 1);
  emf_append((U_ENHMETARECORD *)selectobject_set(pen, eht), et, 1);
  emf_append((U_ENHMETARECORD *)createbrushindirect_set(&white, eht, logbrush_set(U_BS_SOLID,
             colorref3_set(255, 255, 255), 0)), et, 1);
  emf_append((U_ENHMETARECORD *)selectobject_set(white, eht), et, 1);
  emf_append((U_ENHMETARECORD *)U_EMRRECTANGLE_set(Rect(0, 0, 240, 144)), et, 1);
  emf_append((U_ENHMETARECORD *)createbrushindirect_set(&red, eht, logbrush_set(U_BS_SOLID,
             colorref3_set(255, 0, 0), 0)), et, 1);
  emf_append((U_ENHMETARECORD *)selectobject_set(red, eht), et, 1);
  emf_append((U_ENHMETARECORD *)U_EMRRECTANGLE_set(Rect(24, 24, 96, 84)), et, 1);
  emf_append((U_ENHMETARECORD *)createbrushindirect_set(&blue, eht, logbrush_set(U_BS_SOLID,
             colorref3_set(0, 0, 255), 0)), et, 1);
  emf_append((U_ENHMETARECORD *)selectobject_set(blue, eht), et, 1);
  emf_append((U_ENHMETARECORD *)U_EMRELLIPSE_set(Rect(120, 24, 216, 96)), et, 1);
  emf_append((U_ENHMETARECORD *)createbrushindirect_set(&green, eht, logbrush_set(U_BS_SOLID,
             colorref3_set(0, 255, 0), 0)), et, 1);
  emf_append((U_ENHMETARECORD *)selectobject_set(green, eht), et, 1);
  U_POINT16 triangle[3] = {point16_set(U(24), U(132)), point16_set(U(96), U(132)),
                           point16_set(U(60), U(96))};
  emf_append((U_ENHMETARECORD *)U_EMRPOLYGON16_set(Rect(24, 96, 96, 132), 3, triangle), et, 1);
  emf_append((U_ENHMETARECORD *)createpen_set(&outline, eht, logpen_set(U_PS_SOLID,
             point_set(U(5), 0), colorref3_set(0, 0, 0))), et, 1);
  emf_append((U_ENHMETARECORD *)selectobject_set(outline, eht), et, 1);
  emf_append((U_ENHMETARECORD *)selectobject_set(U_NULL_BRUSH, eht), et, 1);
  emf_append((U_ENHMETARECORD *)U_EMRRECTANGLE_set(Rect(120, 108, 216, 132)), et, 1);
  emf_append((U_ENHMETARECORD *)U_EMREOF_set(0, NULL, et), et, 1);
  if (emf_finish(et, eht)) return Fail("emf_finish");
  emf_free(&et);
  emf_htable_free(&eht);
  return 0;
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: uemf_writer OUTDIR\n");
    return 2;
  }
  char path[4096];
  snprintf(path, sizeof path, "%s/uemf.wmf", argv[1]);
  if (WriteWmf(path)) return 1;
  snprintf(path, sizeof path, "%s/uemf.emf", argv[1]);
  return WriteEmf(path);
}
