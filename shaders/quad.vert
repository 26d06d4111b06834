#version 330
// Full-target quad: corner positions pass through, each corner's texture coordinate goes on.

in vec4 vertex;
in vec2 tex;
out vec2 out_uvs;

void main()
{
    gl_Position = vec4(vertex.x, vertex.y, vertex.z, 1.0);
    out_uvs = tex;
}
