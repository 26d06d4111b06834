#version 330 core
// The host stores pixels as alpha, red, green, blue, so the upload leaves them in r, g, b, a in
// that order. Reordering every texel once here, into plain red, green, blue, alpha, spares the
// FXAA pass a reorder on each of its many taps per pixel.

in vec2 out_uvs;
out vec4 colourOut;
uniform sampler2D videoTexture;

void main()
{
    vec4 c = texture(videoTexture, out_uvs);
    colourOut = c.gbar;
}
