import { defineConfig } from "vite";
import react from "@vitejs/plugin-react";

// Relative asset paths: the built page works from any folder of a site.
export default defineConfig({ base: "./", plugins: [react()] });
