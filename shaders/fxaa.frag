#version 330 core
// FXAA over the swizzled (plain RGBA) image: a blur along the local edge direction, kept only
// where its result stays inside the local luma range. Alpha mode first lays a 21 x 21
// box-averaged, un-premultiplied copy of the layer under it and smooths only alpha. The result
// is blended with the untouched texel by strength and written in the host's channel order
// (alpha, red, green, blue), so the read-back copies it straight into the host's buffer.

in vec2 out_uvs;
out vec4 colourOut;

uniform sampler2D videoTexture;
uniform int resX;
uniform int resY;
uniform int modeL;
uniform float adaptiveX;  // set by the render path; the filter does not use it
uniform float strength;
uniform float span;
uniform float reduce_mult;
uniform float reduce_min;

// Alpha weighs fully, so an alpha edge is an edge like any other.
const vec4 lumaWeights = vec4(0.299, 0.587, 0.114, 1.0);
const int boxRadius = 10;
// Below the smallest normal float a reciprocal may overflow, and GPUs that flush denormals
// treat such values as 0 anyway.
const float smallestNormal = 1.17549435e-38;

float luma(vec4 c)
{
    return dot(c, lumaWeights);
}

void main()
{
    vec2 uv = out_uvs;
    float dx = 1.0 / float(resX);
    float dy = 1.0 / float(resY);
    // The unfiltered source texel: fetched, since linear filtering at a texel centre is not
    // bit-exact for floats on every driver, and strength 0 must return the source exactly.
    vec4 S = texelFetch(videoTexture, ivec2(gl_FragCoord.xy), 0);
    colourOut = vec4(0.0);

    if (modeL == 1) {
        // Rows run from +10 to -10 texels in t, each row from -10 to +10 texels in s.
        vec2 p = vec2(uv.x - float(boxRadius) * dx, uv.y + float(boxRadius) * dy);
        vec4 sum = vec4(0.0);
        float weight = 0.0;
        for (int row = -boxRadius; row <= boxRadius; ++row) {
            for (int col = -boxRadius; col <= boxRadius; ++col) {
                sum += texture(videoTexture, p);
                weight += 1.0;
                p.x += dx;
            }
            p.y -= dy;
            p.x = uv.x - dx * float(boxRadius);
        }
        vec4 A = sum / weight;
        // A fully transparent neighbourhood has no colour to un-premultiply: it counts as black.
        A.rgb = (A.a != 0.0) ? A.rgb / A.a : vec3(0.0);
        colourOut.rgb = A.rgb * (1.0 - S.a);
        colourOut.rgb += S.rgb * S.a;
        colourOut.a = 1.0;
    }

    vec2 a = vec2(1.0, 1.0) / vec2(float(resX), float(resY));
    vec4 NW = texture(videoTexture, uv + vec2(-a.x, -a.y));
    vec4 NE = texture(videoTexture, uv + vec2(+a.x, -a.y));
    vec4 SW = texture(videoTexture, uv + vec2(-a.x, +a.y));
    vec4 SE = texture(videoTexture, uv + vec2(+a.x, +a.y));
    vec4 M = texture(videoTexture, uv);
    float lNW = luma(NW);
    float lNE = luma(NE);
    float lSW = luma(SW);
    float lSE = luma(SE);
    float lM = luma(M);
    float lMin = min(lM, min(min(lNW, lNE), min(lSW, lSE)));
    float lMax = max(lM, max(max(lNW, lNE), max(lSW, lSE)));

    vec2 dir;
    dir.x = -((lNW + lNE) - (lSW + lSE));
    dir.y = ((lNW + lSW) - (lNE + lSE));
    float dirReduce = max((lNW + lNE + lSW + lSE) * (0.25 * reduce_mult), reduce_min);
    float dirMin = min(abs(dir.x), abs(dir.y)) + dirReduce;
    // With no reduce term and an axis-aligned direction the step would be 0 times infinity:
    // take no step instead, which leaves such a pixel as it is.
    float rcpDirMin = (dirMin >= smallestNormal) ? 1.0 / dirMin : 0.0;
    dir = min(vec2(span, span), max(vec2(-span, -span), dir * rcpDirMin)) * a;

    vec4 RA = 0.5 * (texture(videoTexture, uv + dir * (1.0 / 3.0 - 0.5)) +
                     texture(videoTexture, uv + dir * (2.0 / 3.0 - 0.5)));
    vec4 RB = RA * 0.5 + 0.25 * (texture(videoTexture, uv + dir * -0.5) +
                                 texture(videoTexture, uv + dir * 0.5));
    float lB = luma(RB);
    vec4 R = (lB < lMin || lB > lMax) ? RA : RB;

    if (modeL == 0) {
        colourOut = R;
    } else {
        colourOut.a = R.a;
    }

    // mix(colourOut, S, 1.0 - strength), written out: a compiler may lower mix() to
    // x + a * (y - x), which would not return S exactly at strength 0.
    colourOut = colourOut * strength + S * (1.0 - strength);
    colourOut = colourOut.argb;
}
