#version 330 core
// The host stores pixels as alpha, red, green, blue, so the upload leaves them in r, g, b, a in
// that order. This pass reorders every texel once into plain red, green, blue, alpha, so that
// the FXAA pass, which reads up to 451 taps per pixel, needs no reorder on any of them.

in vec2 out_uvs;
out vec4 colourOut;
uniform sampler2D videoTexture;

void main()
{
    // Each fragment covers exactly its own texel (out_uvs sits on its centre); fetching it keeps float pixels bit-exact,
    // which linear filtering at the texel centre does not guarantee on every driver.
    vec4 c = texelFetch(videoTexture, ivec2(gl_FragCoord.xy), 0);
    colourOut = c.gbar;
}
